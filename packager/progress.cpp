// progress.cpp -- the progress bar (see progress.h). Must never write to the
// stream when disabled: packages built in pipelines keep quiet logs.
#include "progress.h"

#include <cstdio>

namespace nvrpack {

namespace {

const auto kRedrawInterval = std::chrono::milliseconds(100);
const size_t kBarCells = 20;
const size_t kFieldSize = 48;        // one formatted field
const double kMegabyte = 1e6;
const double kMinSecondsForRate = 0.05;

std::string Clock(double seconds)
{
    char text[kFieldSize];
    unsigned long s = (unsigned long)(seconds + 0.5);
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lu:%02lu:%02lu", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lu:%02lu", s / 60, s % 60);
    return text;
}

}  // namespace

std::string ProgressLine(const WriteProgress &p, double seconds)
{
    double fraction = p.totalBytes ? double(p.bytes) / double(p.totalBytes)
                                   : p.totalEntries ? double(p.entries) / double(p.totalEntries) : 1.0;
    size_t filled = size_t(fraction * kBarCells + 0.5);
    std::string line = "[" + std::string(filled, '#') + std::string(kBarCells - filled, '-') + "]";
    char text[kFieldSize * 4];
    std::snprintf(text, sizeof text, "  %zu/%zu entries  %.1f/%.1f MB", p.entries, p.totalEntries,
                  double(p.bytes) / kMegabyte, double(p.totalBytes) / kMegabyte);
    line += text;
    if (seconds >= kMinSecondsForRate && p.bytes) {
        double rate = double(p.bytes) / seconds;
        std::snprintf(text, sizeof text, "  %.1f MB/s", rate / kMegabyte);
        line += text;
        if (p.entries == p.totalEntries)
            line += "  " + Clock(seconds) + " total";
        else
            line += "  " + Clock(double(p.totalBytes - p.bytes) / rate) + " left";
    }
    return line;
}

ProgressBar::ProgressBar(std::ostream &out, bool enabled)
    : out_(out), enabled_(enabled), start_(std::chrono::steady_clock::now()), last_(start_)
{
}

void ProgressBar::Update(const WriteProgress &p)
{
    if (!enabled_)
        return;
    latest_ = p;
    auto now = std::chrono::steady_clock::now();
    bool done = p.entries == p.totalEntries;
    if (drawn_ && !done && now - last_ < kRedrawInterval)
        return;
    last_ = now;
    std::string line = ProgressLine(p, std::chrono::duration<double>(now - start_).count());
    size_t width = line.size();
    if (width < width_)
        line += std::string(width_ - width, ' ');
    width_ = width;
    out_ << '\r' << line << std::flush;
    drawn_ = true;
}

void ProgressBar::Finish()
{
    if (enabled_ && drawn_)
        out_ << '\n' << std::flush;
    drawn_ = false;
}

}  // namespace nvrpack
