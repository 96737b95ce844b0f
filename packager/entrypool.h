// entrypool.h -- compresses a plan's entries on worker threads, ahead of the
// thread that writes them, and hands them out in plan order. Reads the files
// it compresses; writes nothing. Entries above WholeEntryLimit() are left to
// the writer (streamed), so memory stays within a fixed budget.
#ifndef NVRPACK_ENTRYPOOL_H
#define NVRPACK_ENTRYPOOL_H

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "compress.h"
#include "packplan.h"
#include "peversion.h"

namespace nvrpack {

// One entry's data, ready to write.
struct PackedEntry {
    bool streamed = false;        // too large: the writer compresses it itself
    std::vector<uint8_t> data;    // raw deflate; empty for no data
    uint32_t crc = 0;             // CRC-32 of the uncompressed bytes; 0 for none
    FileVersion version{0xFFFFFFFFu, 0xFFFFFFFFu};
    std::string error;            // set when packing failed (message for PackError)
};

// True when the entry is packed in one piece (not streamed by the writer).
bool PackedWhole(const PlanEntry &entry);

// Reads (File) or takes (Info: text) one entry whole and compresses it with
// compressor. Throws PackError when the file cannot be read or its size is
// no longer entry.size.
PackedEntry PackWhole(const PlanEntry &entry, const std::string &info, WholeCompressor &compressor);

// The worker threads and the entries they have packed but the writer has not
// taken yet. With jobs == 1 there are no threads: Take packs on the caller's
// thread. The output of Take is the same for every jobs value.
class EntryPool {
public:
    // plan must outlive the pool. jobs: worker threads (0: one per core).
    EntryPool(const PackagePlan &plan, int level, unsigned jobs);
    // Stops the workers (abandoning entries not yet taken) and joins them.
    ~EntryPool();
    EntryPool(const EntryPool &) = delete;
    EntryPool &operator=(const EntryPool &) = delete;

    // The packed entry at index; call for 0, 1, 2, ... in order. Throws
    // PackError when packing it failed.
    PackedEntry Take(size_t index);

private:
    void Work();
    void Stop();

    const PackagePlan &plan_;
    int level_;
    std::unique_ptr<WholeCompressor> own_;  // the caller's compressor when jobs == 1
    std::vector<std::thread> workers_;
    std::mutex mutex_;                    // guards everything below
    std::condition_variable changed_;     // a slot filled, a slot taken, or stop
    std::vector<PackedEntry> slots_;      // one per plan entry
    std::vector<char> done_;              // slots_[i] is filled
    size_t next_ = 0;                     // next entry a worker may take
    uint64_t inFlight_ = 0;               // bytes of entries taken by workers, not yet by Take
    bool stop_ = false;
};

}  // namespace nvrpack

#endif
