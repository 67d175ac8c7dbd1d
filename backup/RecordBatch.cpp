#include "backup/RecordBatch.h"

#include <utility>

namespace bexlo {

namespace {

// A volume flush costs about as much whatever it writes: a few hundred copies, or a few hundred
// MiB, share one.
constexpr std::size_t kRecordsPerBatch = 512;
constexpr std::uint64_t kBytesPerBatch = 512ull << 20;

}  // namespace

RecordBatch::RecordBatch(FileSystem& fs, Catalog* catalog) : fs_(fs), catalog_(catalog) {}

RecordBatch::~RecordBatch() = default;

bool RecordBatch::VolumeFlushes(const std::wstring& destination) {
    if (!volumeFlushes_) {
        volumeFlushes_ = fs_.FlushVolume(destination);
    }
    return *volumeFlushes_;
}

void RecordBatch::Add(const std::wstring& destination, const std::wstring& folder,
                      CatalogRecord record, std::uint64_t bytes, bool onBackup,
                      std::unique_ptr<StagedCopy> copy) {
    Waiting waiting{folder, std::move(record), onBackup && VolumeFlushes(destination), 0};
    if (!waiting.byVolume) {
        waiting.flush = ++flushes_;
        if (copy->WorksOnAnyThread()) {
            if (!flusher_) {
                flusher_ = std::make_unique<CopyFlusher>(fs_);
            }
            flusher_->Queue(waiting.flush, std::move(copy));
        } else if (!copy->Flush()) {
            inlineFailures_.insert(waiting.flush);
        }
    }
    waiting_.push_back(std::move(waiting));
    bytes_ += bytes;
}

bool RecordBatch::Due() const {
    return waiting_.size() >= kRecordsPerBatch || bytes_ >= kBytesPerBatch;
}

bool RecordBatch::Write(const std::wstring& destination) {
    std::set<std::size_t> failed = std::exchange(inlineFailures_, {});
    if (flusher_) {
        failed.merge(flusher_->Drain().failed);
    }
    bool byVolume = false;
    for (const Waiting& waiting : waiting_) {
        byVolume = byVolume || waiting.byVolume;
    }
    // One flush of the destination's volume puts every copy there on the disk.
    const bool volumeFlushed = byVolume && fs_.FlushVolume(destination);
    bool whole = true;
    for (const Waiting& waiting : waiting_) {
        const bool flushed = waiting.byVolume ? volumeFlushed : !failed.contains(waiting.flush);
        if (!flushed) {
            whole = false;
        } else if (catalog_ != nullptr) {
            catalog_->Put(waiting.folder, waiting.record);
        }
    }
    waiting_.clear();
    bytes_ = 0;
    return (catalog_ == nullptr || catalog_->Commit()) && whole;
}

}  // namespace bexlo
