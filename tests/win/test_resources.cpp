// test_resources.cpp -- the dialog templates and the icon as they are linked
// into the built install modules (x86_64 and the shipped i686 build), read back
// as data files and compared with the layouts the pages are drawn for: window
// styles, sizes, the font, and every control's number, kind, style and place.
// The expected tables below are written out by hand on purpose; they must not
// be derived from resources/*.rc or resources/resource.h, or a wrong number
// there would pass unnoticed.
#include <gtest/gtest.h>
#include <cstring>
#include <map>
#include <string>
#include <vector>
#include "tests/win/uidriver.h"

using namespace uidriver;

namespace {

// ---- expected layouts -------------------------------------------------------

const WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;  // predefined class atoms
const WORD kNoId = 0xFFFF;                                      // an unnumbered control

// Window styles of the templates.
const DWORD kPageStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                         DS_CENTER | DS_SETFONT;
const DWORD kCompletionStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CENTER |
                               DS_SETFONT;
const DWORD kReplaceStyle = kCompletionStyle | DS_MODALFRAME;

// The style bits a control is checked on: its kind-specific type (low bits),
// visibility and enabled state, and for the edit field its frame, tab stop
// and scrolling.
const DWORD kCommonBits = WS_CHILD | WS_VISIBLE | WS_DISABLED;
const DWORD kEditBits = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;

struct ControlSpec {
    WORD id;
    WORD kind;      // class atom
    DWORD type;     // BS_*/SS_* type in the low bits (ignored for the edit field)
    DWORD bits;     // wanted state of kCommonBits (and kEditBits for an edit)
    short x, y, cx, cy;
    const char *text;  // fixed text, or NULL when the code sets the text
};

struct DialogSpec {
    WORD id;
    DWORD style;
    short cx, cy;
    std::vector<ControlSpec> controls;
};

const DWORD kShown = WS_CHILD | WS_VISIBLE;
const ControlSpec kProductLabel = {kNoId, kStatic, SS_LEFT, kShown | WS_DISABLED,
                                   4, 91, 55, 10, "Nuvar Installer"};

const std::vector<DialogSpec> &Dialogs()
{
    static const std::vector<DialogSpec> dialogs = {
        {1059, kCompletionStyle, 203, 103, {
            {1037, kStatic, SS_LEFT, kShown, 5, 5, 191, 20, NULL},
            {1034, kButton, BS_DEFPUSHBUTTON, kShown, 153, 82, 40, 15, NULL},
            kProductLabel}},
        {1060, kPageStyle, 203, 103, {
            {1020, kStatic, SS_LEFT, kShown, 5, 5, 190, 20, NULL},
            {1021, kStatic, SS_LEFTNOWORDWRAP, kShown, 5, 30, 190, 20, NULL},
            {1018, kButton, BS_DEFPUSHBUTTON, kShown, 108, 82, 40, 15, NULL},
            {1003, kButton, BS_PUSHBUTTON, kShown, 153, 82, 40, 15, NULL},
            kProductLabel}},
        {1062, kPageStyle, 203, 103, {
            {1004, kStatic, SS_LEFT, kShown, 5, 5, 191, 20, NULL},
            {1006, kStatic, SS_RIGHT, kShown, 5, 30, 191, 10, NULL},
            {1007, kButton, BS_GROUPBOX, kShown, 5, 45, 192, 31, NULL},
            {1000, kEdit, 0, kShown | kEditBits, 9, 55, 139, 15, NULL},
            {1001, kButton, BS_PUSHBUTTON, kShown, 153, 55, 40, 15, NULL},
            {1002, kButton, BS_DEFPUSHBUTTON, kShown, 108, 82, 40, 15, NULL},
            {1003, kButton, BS_PUSHBUTTON, kShown, 153, 82, 40, 15, NULL},
            kProductLabel}},
        {1063, kPageStyle, 203, 103, {
            {1023, kStatic, SS_LEFT, kShown, 5, 5, 191, 20, NULL},
            {1027, kStatic, SS_LEFTNOWORDWRAP, kShown, 5, 45, 191, 8, NULL},
            {1029, kStatic, SS_BLACKFRAME, WS_CHILD, 5, 55, 191, 15, NULL},
            {1012, kButton, BS_DEFPUSHBUTTON, kShown, 153, 82, 40, 15, NULL},
            kProductLabel}},
        {1065, kReplaceStyle, 251, 131, {
            {1014, kStatic, SS_LEFT, kShown, 37, 10, 204, 20, NULL},
            {1015, kStatic, SS_LEFTNOWORDWRAP, kShown, 42, 29, 193, 10, NULL},
            {1016, kStatic, SS_LEFTNOWORDWRAP, kShown, 37, 48, 204, 10, NULL},
            {1017, kStatic, SS_LEFTNOWORDWRAP, kShown, 42, 66, 193, 10, NULL},
            {1013, kButton, BS_AUTOCHECKBOX, kShown, 37, 85, 90, 10, NULL},
            {1010, kButton, BS_DEFPUSHBUTTON, kShown, 50, 105, 40, 15, NULL},
            {1011, kButton, BS_PUSHBUTTON, kShown, 105, 105, 40, 15, NULL},
            {1012, kButton, BS_PUSHBUTTON, kShown, 160, 105, 40, 15, NULL}}},
    };
    return dialogs;
}

const WORD kFinishingDialog = 1058;  // free layout: icon 1055 and text item 1033, no title
const WORD kIcon = 1055;
const wchar_t kFontName[] = L"\xAD74\xB9BC";  // Gulim
const WORD kFontPoints = 9;

// ---- template reader --------------------------------------------------------

// A string-or-ordinal field of a template: ordinal when isOrdinal.
struct NameField {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::wstring text;
};

struct Control {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0;
    NameField cls, title;
};

struct Dialog {
    bool extended = false;
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    NameField menu, cls, title;
    WORD points = 0;
    std::wstring font;
    std::vector<Control> controls;
};

// Reads a template held in [p, end); false when it runs past the end.
class TemplateReader {
public:
    TemplateReader(const BYTE *begin, DWORD size) : base_(begin), p_(begin), end_(begin + size) {}

    bool Read(Dialog *d)
    {
        WORD version = 0, signature = 0;
        if (!Peek(&version, 0) || !Peek(&signature, 2))
            return false;
        d->extended = version == 1 && signature == 0xFFFF;
        WORD count = 0;
        if (d->extended) {
            DWORD help;
            if (!Get(&version) || !Get(&signature) || !Get(&help) || !Get(&d->exStyle) ||
                !Get(&d->style))
                return false;
        } else if (!Get(&d->style) || !Get(&d->exStyle)) {
            return false;
        }
        if (!Get(&count) || !Get(&d->x) || !Get(&d->y) || !Get(&d->cx) || !Get(&d->cy) ||
            !Name(&d->menu) || !Name(&d->cls) || !Name(&d->title))
            return false;
        if (d->style & (DS_SETFONT | DS_SHELLFONT)) {
            if (!Get(&d->points))
                return false;
            if (d->extended) {
                WORD weight;
                BYTE italic, charset;
                if (!Get(&weight) || !Get(&italic) || !Get(&charset))
                    return false;
            }
            if (!Text(&d->font))
                return false;
        }
        for (WORD i = 0; i < count; i++) {
            Control c;
            if (!Item(d->extended, &c))
                return false;
            d->controls.push_back(c);
        }
        return true;
    }

private:
    template <class T> bool Peek(T *v, size_t at) const
    {
        if (p_ + at + sizeof(T) > end_)
            return false;
        std::memcpy(v, p_ + at, sizeof(T));
        return true;
    }
    template <class T> bool Get(T *v)
    {
        if (!Peek(v, 0))
            return false;
        p_ += sizeof(T);
        return true;
    }
    bool Align()
    {
        size_t off = (p_ - base_ + 3) & ~size_t(3);
        if (base_ + off > end_)
            return false;
        p_ = base_ + off;
        return true;
    }
    bool Text(std::wstring *s)
    {
        for (WORD ch; Get(&ch) && ch != 0;)
            s->push_back(static_cast<wchar_t>(ch));
        return p_ <= end_ && p_[-2] == 0 && p_[-1] == 0;
    }
    bool Name(NameField *n)
    {
        WORD first;
        if (!Peek(&first, 0))
            return false;
        if (first == 0xFFFF) {
            n->isOrdinal = true;
            p_ += 2;
            return Get(&n->ordinal);
        }
        return Text(&n->text);
    }
    bool Item(bool extended, Control *c)
    {
        if (!Align())
            return false;
        if (extended) {
            DWORD help, id;
            if (!Get(&help) || !Get(&c->exStyle) || !Get(&c->style) || !Get(&c->x) ||
                !Get(&c->y) || !Get(&c->cx) || !Get(&c->cy) || !Get(&id))
                return false;
            c->id = static_cast<WORD>(id);
        } else if (!Get(&c->style) || !Get(&c->exStyle) || !Get(&c->x) || !Get(&c->y) ||
                   !Get(&c->cx) || !Get(&c->cy) || !Get(&c->id)) {
            return false;
        }
        WORD extra;
        if (!Name(&c->cls) || !Name(&c->title) || !Get(&extra))
            return false;
        if (p_ + extra > end_)
            return false;
        p_ += extra;
        return true;
    }

    const BYTE *base_, *p_, *end_;
};

std::string Narrow(const std::wstring &w)
{
    return std::string(w.begin(), w.end());  // the fixed texts are ASCII
}

// The module's resource data, or NULL.
const BYTE *ResourceData(HMODULE module, LPCSTR type, WORD id, DWORD *size)
{
    HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!res)
        return NULL;
    HGLOBAL h = LoadResource(module, res);
    *size = SizeofResource(module, res);
    return h ? static_cast<const BYTE *>(LockResource(h)) : NULL;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param)
{
    auto *ids = reinterpret_cast<std::vector<ULONG_PTR> *>(param);
    ids->push_back(IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : 0);
    return TRUE;
}

std::vector<ULONG_PTR> ResourceIds(HMODULE module, LPCSTR type)
{
    std::vector<ULONG_PTR> ids;
    EnumResourceNamesA(module, type, CollectName, reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

// ---- the tests --------------------------------------------------------------

// Each test runs against both builds of the module, loaded as data files.
class Resources : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(TestData().empty()) << "NVR_TEST_DATA is not set";
        std::string path = TestData() + "\\" + GetParam();
        module_ = LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(module_ != NULL) << path << ": error " << GetLastError();
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
        module_ = NULL;
    }
    bool ReadDialog(WORD id, Dialog *d)
    {
        DWORD size = 0;
        const BYTE *data = ResourceData(module_, RT_DIALOG, id, &size);
        return data && TemplateReader(data, size).Read(d);
    }

    HMODULE module_ = NULL;
};

TEST_P(Resources, ExactlyTheSixDialogsAndOneIconGroup)
{
    std::vector<ULONG_PTR> dialogs = ResourceIds(module_, RT_DIALOG);
    EXPECT_EQ((std::vector<ULONG_PTR>{1058, 1059, 1060, 1062, 1063, 1065}), dialogs);
    EXPECT_EQ((std::vector<ULONG_PTR>{kIcon}), ResourceIds(module_, RT_GROUP_ICON));
}

TEST_P(Resources, DialogTemplatesMatchTheirLayouts)
{
    for (const DialogSpec &want : Dialogs()) {
        SCOPED_TRACE("dialog " + std::to_string(want.id));
        Dialog d;
        ASSERT_TRUE(ReadDialog(want.id, &d)) << "template missing or malformed";
        EXPECT_EQ(want.style, d.style) << std::hex << "style 0x" << d.style;
        EXPECT_EQ(0u, d.exStyle);
        EXPECT_EQ(want.cx, d.cx);
        EXPECT_EQ(want.cy, d.cy);
        EXPECT_TRUE(d.menu.isOrdinal ? d.menu.ordinal == 0 : d.menu.text.empty()) << "a menu";
        EXPECT_TRUE(!d.cls.isOrdinal && d.cls.text.empty()) << "a private dialog class";
        EXPECT_EQ(kFontPoints, d.points);
        EXPECT_TRUE(d.font == kFontName) << "font name has " << d.font.size() << " characters";

        std::map<WORD, const Control *> byId;
        for (const Control &c : d.controls) {
            EXPECT_TRUE(byId.emplace(c.id, &c).second) << "control " << c.id << " twice";
        }
        EXPECT_EQ(want.controls.size(), d.controls.size());
        for (const ControlSpec &w : want.controls) {
            SCOPED_TRACE("control " + std::to_string(w.id));
            auto it = byId.find(w.id);
            if (it == byId.end()) {
                ADD_FAILURE() << "missing";
                continue;
            }
            const Control &c = *it->second;
            EXPECT_TRUE(c.cls.isOrdinal && c.cls.ordinal == w.kind)
                << "class " << (c.cls.isOrdinal ? std::to_string(c.cls.ordinal) : Narrow(c.cls.text));
            DWORD typeMask = w.kind == kButton ? BS_TYPEMASK : w.kind == kStatic ? SS_TYPEMASK : 0;
            EXPECT_EQ(w.type, c.style & typeMask) << std::hex << "style 0x" << c.style;
            DWORD checked = kCommonBits | (w.kind == kEdit ? kEditBits : 0);
            EXPECT_EQ(w.bits, c.style & checked) << std::hex << "style 0x" << c.style;
            EXPECT_EQ(0u, c.exStyle & ~DWORD(WS_EX_NOPARENTNOTIFY));
            EXPECT_EQ(w.x, c.x);
            EXPECT_EQ(w.y, c.y);
            EXPECT_EQ(w.cx, c.cx);
            EXPECT_EQ(w.cy, c.cy);
            if (w.text)
                EXPECT_EQ(w.text, Narrow(c.title.text));
        }
    }
}

// The post-restart registration dialog: no title bar, the icon 1055 and the
// text line 1033, both inside the dialog.
TEST_P(Resources, FinishingDialogHasIconAndTextLine)
{
    Dialog d;
    ASSERT_TRUE(ReadDialog(kFinishingDialog, &d));
    EXPECT_NE(DWORD(WS_CAPTION), d.style & WS_CAPTION) << "has a title bar";
    EXPECT_TRUE(d.style & WS_POPUP);
    EXPECT_TRUE(d.title.text.empty());
    EXPECT_EQ(kFontPoints, d.points);
    EXPECT_TRUE(d.font == kFontName);
    ASSERT_EQ(2u, d.controls.size());
    bool icon = false, text = false;
    for (const Control &c : d.controls) {
        EXPECT_TRUE(c.cls.isOrdinal && c.cls.ordinal == kStatic);
        EXPECT_TRUE(c.x >= 0 && c.y >= 0 && c.x + c.cx <= d.cx && c.y + c.cy <= d.cy)
            << "control " << c.id << " lies outside the dialog";
        EXPECT_EQ(DWORD(WS_CHILD | WS_VISIBLE), c.style & kCommonBits);
        if ((c.style & SS_TYPEMASK) == SS_ICON) {
            icon = true;
            EXPECT_TRUE(c.title.isOrdinal && c.title.ordinal == kIcon) << "not icon 1055";
        } else if (c.id == 1033) {
            text = true;
            EXPECT_EQ(DWORD(SS_LEFT), c.style & SS_TYPEMASK);
        }
    }
    EXPECT_TRUE(icon) << "no icon";
    EXPECT_TRUE(text) << "no text item 1033";
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// Icon 1055: one group with a 32x32 and a 16x16 image, 16 colours each; every
// image is present, of the size the group states, and usable as an icon.
TEST_P(Resources, IconGroupHasTwoSixteenColourImages)
{
    DWORD size = 0;
    const BYTE *group = ResourceData(module_, RT_GROUP_ICON, kIcon, &size);
    ASSERT_TRUE(group != NULL);
    ASSERT_GE(size, 6u);
    WORD header[3];
    std::memcpy(header, group, sizeof header);
    EXPECT_EQ(0, header[0]);
    EXPECT_EQ(1, header[1]);
    ASSERT_EQ(2, header[2]);
    ASSERT_EQ(6u + 2 * sizeof(GroupIconEntry), size);

    std::map<int, GroupIconEntry> bySize;
    for (int i = 0; i < 2; i++) {
        GroupIconEntry e;
        std::memcpy(&e, group + 6 + i * sizeof e, sizeof e);
        bySize[e.width] = e;
    }
    for (int want : {32, 16}) {
        SCOPED_TRACE("image " + std::to_string(want));
        ASSERT_EQ(1u, bySize.count(want));
        const GroupIconEntry &e = bySize[want];
        EXPECT_EQ(want, e.height);
        EXPECT_EQ(16, e.colours);
        EXPECT_EQ(4, e.bitCount);
        DWORD imageSize = 0;
        const BYTE *image = ResourceData(module_, RT_ICON, e.id, &imageSize);
        ASSERT_TRUE(image != NULL) << "image " << e.id << " missing";
        ASSERT_EQ(e.bytes, imageSize);
        BITMAPINFOHEADER bih;
        ASSERT_GE(imageSize, sizeof bih);
        std::memcpy(&bih, image, sizeof bih);
        EXPECT_EQ(want, bih.biWidth);
        EXPECT_EQ(2 * want, bih.biHeight);
        EXPECT_EQ(4, bih.biBitCount);
        // palette, 4-bit colour rows and 1-bit mask rows, both padded to 32 bits
        DWORD rowsBytes = want * ((want * 4 + 31) / 32 * 4) + want * ((want + 31) / 32 * 4);
        EXPECT_EQ(sizeof bih + 16 * 4 + rowsBytes, imageSize);

        int picked = LookupIconIdFromDirectoryEx(const_cast<BYTE *>(group), TRUE, want, want,
                                                 LR_DEFAULTCOLOR);
        EXPECT_EQ(e.id, picked) << "the system picks another image for " << want;
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE *>(image), imageSize, TRUE,
                                              0x00030000, want, want, LR_DEFAULTCOLOR);
        EXPECT_TRUE(icon != NULL);
        if (icon)
            DestroyIcon(icon);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, Resources, ::testing::Values("win64.exe", "win32.exe"),
                         [](const ::testing::TestParamInfo<const char *> &info) {
                             return std::string(info.param).substr(0, 5);
                         });

}  // namespace
