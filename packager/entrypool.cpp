// entrypool.cpp -- parallel compression of entries (see entrypool.h). Workers
// take entries in plan order and never start one that would push the bytes
// held in memory over kInFlightBudget (unless nothing is held), so the writer
// always gets the entry it waits for.
#include "entrypool.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "packerror.h"

namespace nvrpack {

namespace {

const uint64_t kInFlightBudget = 256ull << 20;   // input bytes held by packed, untaken entries

unsigned DefaultJobs()
{
    unsigned n = std::thread::hardware_concurrency();
    return n ? n : 1;
}

// Reads exactly size bytes of path; fails when the file is shorter or longer.
std::vector<uint8_t> ReadExactly(const std::string &path, uint64_t size)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw PackError("cannot read " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> data(size_t(size) + 1);
    in.read(reinterpret_cast<char *>(data.data()), std::streamsize(data.size()));
    if (in.bad())
        throw PackError("cannot read " + path);
    if (uint64_t(in.gcount()) != size)
        throw PackError(path + " changed size while it was packed");
    data.resize(size_t(size));
    return data;
}

}  // namespace

bool PackedWhole(const PlanEntry &e)
{
    return e.kind != EntryKind::File || e.size <= WholeEntryLimit();
}

PackedEntry PackWhole(const PlanEntry &e, const std::string &info, WholeCompressor &compressor)
{
    PackedEntry p;
    std::vector<uint8_t> bytes;
    if (e.kind == EntryKind::Info)
        bytes.assign(info.begin(), info.end());
    else if (e.kind == EntryKind::File)
        bytes = ReadExactly(e.localPath, e.size);
    if (e.kind == EntryKind::File) {
        MemorySource source(bytes.data(), bytes.size());
        p.version = ReadPeVersion(source);
    }
    if (bytes.empty())
        return p;   // no data, CRC 0
    p.crc = Crc32(0, bytes.data(), bytes.size());
    p.data = compressor.Compress(bytes.data(), bytes.size());
    return p;
}

EntryPool::EntryPool(const PackagePlan &plan, int level, unsigned jobs)
    : plan_(plan), level_(level), slots_(plan.entries.size()), done_(plan.entries.size(), 0)
{
    if (jobs == 0)
        jobs = DefaultJobs();
    if (jobs == 1)
        return;
    try {
        for (unsigned i = 0; i < jobs; i++)
            workers_.emplace_back(&EntryPool::Work, this);
    } catch (...) {
        Stop();
        throw;
    }
}

EntryPool::~EntryPool()
{
    Stop();
}

void EntryPool::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread &t : workers_) {
        if (t.joinable())
            t.join();
    }
    workers_.clear();
}

void EntryPool::Work()
{
    std::unique_ptr<WholeCompressor> compressor;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        while (next_ < plan_.entries.size() && !PackedWhole(plan_.entries[next_]))
            next_++;
        if (stop_ || next_ >= plan_.entries.size())
            return;
        const PlanEntry &e = plan_.entries[next_];
        if (inFlight_ > 0 && inFlight_ + e.size > kInFlightBudget) {
            changed_.wait(lock);
            continue;
        }
        size_t index = next_++;
        inFlight_ += e.size;
        lock.unlock();
        PackedEntry packed;
        try {
            if (!compressor)
                compressor.reset(new WholeCompressor(level_));
            packed = PackWhole(e, plan_.info, *compressor);
        } catch (const std::exception &failure) {
            packed = PackedEntry();
            packed.error = failure.what();
        }
        lock.lock();
        slots_[index] = std::move(packed);
        done_[index] = 1;
        changed_.notify_all();
    }
}

PackedEntry EntryPool::Take(size_t index)
{
    const PlanEntry &e = plan_.entries[index];
    if (!PackedWhole(e)) {
        PackedEntry p;
        p.streamed = true;
        return p;
    }
    if (workers_.empty()) {
        if (!own_)
            own_.reset(new WholeCompressor(level_));
        return PackWhole(e, plan_.info, *own_);
    }
    PackedEntry p;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return done_[index] != 0; });
        p = std::move(slots_[index]);
        inFlight_ -= e.size;
    }
    changed_.notify_all();
    if (!p.error.empty())
        throw PackError(p.error);
    return p;
}

}  // namespace nvrpack
