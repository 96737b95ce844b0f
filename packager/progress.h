// progress.h -- the build's progress bar on a terminal: entries, bytes, rate
// and time left, redrawn in place on one line. Writes only to the stream it
// is given, and nothing at all when disabled.
#ifndef NVRPACK_PROGRESS_H
#define NVRPACK_PROGRESS_H

#include <chrono>
#include <ostream>
#include <string>

#include "packwriter.h"

namespace nvrpack {

// One line of the bar for progress p after seconds of work, without the
// leading '\r': "[#####---------------]  12/200 entries  3.1/9.8 MB  4.2 MB/s  0:02 left".
std::string ProgressLine(const WriteProgress &p, double seconds);

class ProgressBar {
public:
    // enabled false: Update and Finish do nothing.
    ProgressBar(std::ostream &out, bool enabled);
    // Redraws the line, at most every kRedrawInterval and when done.
    void Update(const WriteProgress &p);
    // Ends the line (after a redraw of the final state), if any was drawn.
    void Finish();

private:
    std::ostream &out_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
    WriteProgress latest_{};
    size_t width_ = 0;   // length of the line drawn last, to blank leftovers
};

}  // namespace nvrpack

#endif
