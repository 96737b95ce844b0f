// fuzz_journal.cpp -- libFuzzer target for the install journal's read-back.
// Part 0 of the input is the journal INI file, part 1 the source-file list.
// The rollback's reading order is replayed (sources, DLLs, folders) into
// buffers of exactly NVR_JOURNAL_ITEM_SIZE bytes; every item must be a
// non-blank absolute path within the buffer. Then part 2's lines are recorded
// into a fresh journal and must read back as written. Must not write real
// files.
//
// A damaged count (DLLFileCount=2000000000 with few records) makes the
// read-back walk every missing number; the profile-read budget stops such an
// input (NVR_FUZZ_STRICT=1 in the environment makes it a crash instead).
#include "fuzzcommon.h"
#include "win32shim.h"

#include <setjmp.h>

#include "launcher/runsetup.h"
#include "setupinfo/journal.h"

#define FUZZ_JOURNAL     "C:\\t\\_if2.tmp"
#define FUZZ_LIST        "C:\\t\\_if3.tmp"
#define FUZZ_READ_BUDGET 20000   // profile reads per input before the read-back counts as endless
#define FUZZ_ITEMS_MAX   4096    // items per kind before the read-back counts as endless

static jmp_buf s_budgetJump;          // where a spent read budget returns to
static unsigned long s_budgetHits;    // inputs stopped by the budget
// The read-back's buffers, exactly as large as promised and allocated once:
// a spent budget jumps out of the reading, past any cleanup.
static char *s_item;                  // NVR_JOURNAL_ITEM_SIZE bytes
static DllRecord *s_record;           // one split DLL record

static void BudgetSpent(void)
{
    if (getenv("NVR_FUZZ_STRICT")) {
        fprintf(stderr, "journal read-back: %d profile reads for one input\n", FUZZ_READ_BUDGET);
        abort();
    }
    longjmp(s_budgetJump, 1);
}

static void OpenJournal(const std::string &ini, const std::string &list)
{
    ShimReset();
    ShimPutFile(FUZZ_JOURNAL, ini.data(), ini.size());
    ShimPutFile(FUZZ_LIST, list.data(), list.size());
    snprintf(g_journalFile, sizeof g_journalFile, "%s", FUZZ_JOURNAL);
    g_sourceList = CreateFileA(FUZZ_LIST, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
}

static void CloseJournal(void)
{
    CloseHandle(g_sourceList);
    g_sourceList = NULL;
}

// Reads the next item of one kind into s_item and checks it. 1 or 0 at the end.
static int NextItem(const char *kind)
{
    if (!NextJournalItem(kind, s_item))
        return 0;
    FUZZ_CHECK(strlen(s_item) < NVR_JOURNAL_ITEM_SIZE);
    FUZZ_CHECK(IsAbsolutePath(s_item) && !IsBlank(s_item));
    if (strcmp(kind, NVR_JOURNAL_DLLS) == 0) {
        SplitDllRecord(s_item, s_record);
        FUZZ_CHECK(strlen(s_record->path) < NVR_PATH_SIZE);
        FUZZ_CHECK(s_record->removal <= 1 && s_record->shared <= 1 && s_record->replaced <= 1);
    }
    return 1;
}

// Reads every item of one kind (no C++ objects: a spent budget jumps out).
static void ReadAll(const char *kind)
{
    int count = 0;
    while (NextItem(kind)) FUZZ_CHECK(++count < FUZZ_ITEMS_MAX);
}

// Reads every item of one kind; returns them in reading order.
static std::vector<std::string> ReadKind(const char *kind)
{
    std::vector<std::string> items;
    while (NextItem(kind)) {
        FUZZ_CHECK(items.size() < FUZZ_ITEMS_MAX);
        items.push_back(s_item);
    }
    return items;
}

// Paths (up to 259 characters) recorded into an empty journal come back as
// they were: sources oldest first (a name over 255 bytes through the INI
// file), DLL records and folders newest first.
static void RoundTrip(const std::string &lines)
{
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos < lines.size() && names.size() < 32) {
        size_t end = lines.find('\n', pos);
        if (end == std::string::npos) end = lines.size();
        std::string name = "C:\\";
        for (size_t i = pos; i < end; i++)
            if (lines[i] != '\r' && lines[i] != '\0' && lines[i] != '\v' && lines[i] != '\f' &&
                lines[i] != '\x1a')
                name += lines[i];
        name.resize(name.size() < NVR_PATH_SIZE ? name.size() : NVR_PATH_SIZE - 1);
        while (name.size() > 3 && (name.back() == ' ' || name.back() == '\t' || name.back() == '*'))
            name.pop_back();
        names.push_back(name);
        pos = end + 1;
    }
    OpenJournal("", "");
    BeginJournalReadBack();   // a fresh journal: counting restarts at 0
    for (size_t i = 0; i < names.size(); i++) {
        RecordInstalled(NVR_JOURNAL_SOURCES, NULL, names[i].c_str());
        RecordInstalled(NVR_JOURNAL_DLLS, NULL, names[i].c_str());
        RecordInstalled(NVR_JOURNAL_FOLDER, NULL, names[i].c_str());
    }
    BeginJournalReadBack();
    std::vector<std::string> sources = ReadKind(NVR_JOURNAL_SOURCES);
    std::vector<std::string> dlls = ReadKind(NVR_JOURNAL_DLLS);
    std::vector<std::string> folders = ReadKind(NVR_JOURNAL_FOLDER);
    FUZZ_CHECK(sources.size() == names.size() && dlls.size() == names.size() &&
               folders.size() == names.size());
    for (size_t i = 0; i < names.size(); i++) {
        size_t newest = names.size() - 1 - i;
        FUZZ_CHECK(sources[i] == names[i]);
        FUZZ_CHECK(dlls[i] == names[newest]);
        FUZZ_CHECK(folders[i] == names[newest]);
    }
    CloseJournal();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> parts = SplitInput(data, size, 3);
    if (!s_item) {
        s_item = (char *)malloc(NVR_JOURNAL_ITEM_SIZE);
        s_record = (DllRecord *)malloc(sizeof(DllRecord));
    }
    OpenJournal(parts[0], parts.size() > 1 ? parts[1] : "");
    ShimSetProfileBudget(FUZZ_READ_BUDGET, BudgetSpent);
    if (setjmp(s_budgetJump) == 0) {
        BeginJournalReadBack();
        ReadAll(NVR_JOURNAL_SOURCES);
        ReadAll(NVR_JOURNAL_DLLS);
        ReadAll(NVR_JOURNAL_FOLDER);
    } else if (s_budgetHits++ == 0) {
        fprintf(stderr, "journal read-back: a damaged count walked %d profile reads (reported once)\n",
                FUZZ_READ_BUDGET);
    }
    ShimSetProfileBudget(0, NULL);
    CloseJournal();
    if (parts.size() > 2) RoundTrip(parts[2]);
    FUZZ_CHECK(ShimOpenHandles() == 0);
    return 0;
}
