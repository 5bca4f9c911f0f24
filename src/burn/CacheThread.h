// The read-ahead cache of a burn: a producer thread that reads the image ahead of the write
// thread (the header stream, then each source file in file-table order on a sector
// boundary, then zero padding up to the minimum track length), cuts it into blocks of
// BlockSize bytes and queues them, up to CacheSize bytes. The writer takes them in order
// with GetBlock (a copy) or TakeBlock (the block itself). Every change of the queue and of
// the byte counters happens under the burner's DeviceLock; each change is also announced
// on a condition variable, so a side that waits for the other wakes at once instead of
// polling.
#pragma once

#include "burn/Image.h"
#include "burn/StreamEx.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace larderly {

constexpr int kCacheBlockCapacity = 65536;
constexpr int kCdBlockSize = 55296;                                         // 27 sectors
constexpr int kDvdBlockSize = 65536;                                        // 32 sectors
constexpr int64_t kMinTrackBytes = int64_t(kMinTrackSectors) * kSectorSize; // 614400

// One queued block: up to 65536 data bytes and their count. The bytes after Count are
// undefined.
struct TCacheBlock {
    uint8_t Data[kCacheBlockCapacity];
    uint32_t Count;
};

class TCacheThread {
public:
    // Starts the thread at once. headerStream is read from its start and emptied once read;
    // fileTable is the image's file table (only the source paths and sizes are used, copied
    // here). trackLength is the track's length in bytes (volume size less the next writable
    // address, times 2048).
    TCacheThread(int64_t cacheSize, std::recursive_mutex& lock, int blockSize, bool postGap,
                 const std::string& bootImage, int bootSectors, int64_t trackLength,
                 TStreamEx& headerStream, const std::vector<TFEntry>& fileTable);
    // Stops the thread (if still running), waits for it and frees the queue. The thread
    // needs the lock to stop, so the cache is never destroyed by a thread that holds it.
    ~TCacheThread();
    TCacheThread(const TCacheThread&) = delete;
    TCacheThread& operator=(const TCacheThread&) = delete;

    // Copies the next block into dest (room for 65536 bytes). Returns its byte count, -1
    // when nothing is queued yet, 0 when the data is complete or the cache has stopped.
    int GetBlock(uint8_t* dest);
    // As GetBlock, but hands the block itself over instead of a copy (block is set only for
    // a positive count). The caller gives it back with RecycleBlock once done with it.
    int TakeBlock(std::unique_ptr<TCacheBlock>& block);
    void RecycleBlock(std::unique_ptr<TCacheBlock> block);
    // A counter that moves on with every change a consumer may wait for: a block queued,
    // the data complete, an error text, a stop. Read it before asking for a block; when
    // there was none, WaitForChange(counter) returns as soon as something changed (or
    // after timeoutMs at the latest).
    uint64_t ChangeCount() const;
    void WaitForChange(uint64_t seen, int timeoutMs);
    // Asks the thread to stop; it frees the queue and ends.
    void Stop();
    // Waits for the thread to end.
    void WaitFor();

    bool Ready() const { return FReady.load(); }
    bool Done() const { return FDone.load(); }
    std::string ErrorText() const;
    void SetErrorText(const std::string& text);
    std::string CurrentFile() const;

    int BlockSize() const { return FBlockSize; }
    int Capacity() const { return FCapacity; }          // whole blocks
    int PriorityLevel() const { return FLevel.load(); } // 0 idle, 1 lowest, 2 lower, 3 normal
    int64_t CachedBytes() const;
    int64_t BytesToDeliver() const;
    int QueuedBlocks() const;

    // Process-wide block size of the last cache created (0 before the first).
    static int GlobalBlockSize();

private:
    using Block = TCacheBlock;
    struct Source {
        std::string Path;
        int64_t Size;
    };
    class StopRequested {};

    void Execute();
    void ReadHeader();
    bool ReadFiles(); // false when a file could not be read
    void QueuePostGap();
    void QueueCurrent(int count); // queues the block being filled; caller holds the lock
    std::unique_ptr<Block> NewBlock();
    void Announce();  // wakes whoever waits for a change
    bool QueueFull(); // takes the lock
    void WaitWhileFull(bool idle);
    void SetLevel(int level);
    void StopPath();
    void CheckStop();
    void SleepMs(int ms);

    std::recursive_mutex& FLock;
    const int FBlockSize;
    int FCapacity;
    int FWakeBatch; // queued blocks that make it worth waking a waiting writer
    const bool FPostGap;
    bool FPadToMinimum = false;
    int64_t FPadding = 0;
    TStreamEx& FHeader;
    std::vector<Source> FSources;
    std::string FBootImage;
    int FBootSectors;

    std::deque<std::unique_ptr<Block>> FQueue; // under FLock
    int64_t FCachedBytes = 0;                  // under FLock
    int64_t FBytesToDeliver = 0;               // under FLock

    std::unique_ptr<Block> FCurrent; // the block being filled (the accumulation buffer)
    int FPending = 0;                // bytes pending in FCurrent
    int FRoom = 0;                   // room left in the block being filled

    std::atomic<bool> FStop{false};
    std::atomic<bool> FDone{false};
    std::atomic<bool> FReady{false};
    std::atomic<bool> FTearingDown{false};
    std::atomic<bool> FTaking{false};
    std::atomic<int> FLevel{-1};

    mutable std::mutex FTextLock;
    std::string FErrorText;
    std::string FCurrentFile;
    std::unique_ptr<TFileStreamEx> FFile;

    std::mutex FPoolLock; // blocks given back, for reuse
    std::vector<std::unique_ptr<Block>> FPool;

    mutable std::mutex FChangeLock;
    std::condition_variable FChanged;
    uint64_t FChangeCount = 0; // under FChangeLock

    std::thread FThread;
};

} // namespace larderly
