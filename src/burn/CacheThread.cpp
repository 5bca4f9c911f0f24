// The read-ahead cache thread: producer of the blocks that the write thread sends to the drive.
#include "burn/CacheThread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace larderly {

namespace {

std::atomic<int> gBlockSize{0};

int64_t RoundToSector(int64_t n) {
    return (n + kSectorSize - 1) / kSectorSize * kSectorSize;
}

// Thread priorities are best-effort. A thread may lower its own priority but, without the
// right to raise it again, would stay low for the rest of the burn and starve the drive;
// so levels reach the scheduler only where the normal priority can be taken back.
struct PriorityControl {
    bool Enabled = false;
    int BaseNice = 0;
    pid_t Tid = 0;

    PriorityControl() {
        Tid = pid_t(::syscall(SYS_gettid));
        errno = 0;
        BaseNice = ::getpriority(PRIO_PROCESS, id_t(Tid));
        if (errno != 0) return;
        rlimit rl{};
        bool mayRaise = ::geteuid() == 0;
        if (!mayRaise && ::getrlimit(RLIMIT_NICE, &rl) == 0)
            mayRaise = rl.rlim_cur == RLIM_INFINITY || 20 - int(rl.rlim_cur) <= BaseNice;
        Enabled = mayRaise;
    }
    // The steps are small. The thread sleeps while the queue is full, so a low level costs
    // nobody anything then; it only slows the refill once the writer has made room, and a
    // large step (a weight of a tenth or less of a normal thread's) lets any other busy
    // process on the machine hold the refill back until the drive runs dry.
    void Apply(int level) {
        if (!Enabled) return;
        static const int kNiceOffset[4] = {3, 2, 1, 0}; // idle, lowest, lower, normal
        int nice = std::min(19, BaseNice + kNiceOffset[level]);
        ::setpriority(PRIO_PROCESS, id_t(Tid), nice); // a refusal is ignored
    }
};

thread_local PriorityControl* tPriority = nullptr;

} // namespace

int TCacheThread::GlobalBlockSize() {
    return gBlockSize.load();
}

TCacheThread::TCacheThread(int64_t cacheSize, std::recursive_mutex& lock, int blockSize,
                           bool postGap, const std::string& bootImage, int bootSectors,
                           int64_t trackLength, TStreamEx& headerStream,
                           const std::vector<TFEntry>& fileTable)
    : FLock(lock), FBlockSize(std::clamp(blockSize, int(kSectorSize), kCacheBlockCapacity) /
                              int(kSectorSize) * int(kSectorSize)),
      FPostGap(postGap), FHeader(headerStream), FBootImage(bootImage), FBootSectors(bootSectors) {
    gBlockSize = FBlockSize;
    // At least two blocks, or the queue would count as full while empty.
    FCapacity = int(std::max<int64_t>(2, cacheSize / FBlockSize));
    FWakeBatch = std::clamp(FCapacity / 8, 1, 16);
    FBytesToDeliver = trackLength;
    FPadToMinimum = postGap && trackLength < kMinTrackBytes;
    FPadding = FPadToMinimum ? kMinTrackBytes - trackLength : 0;
    FSources.reserve(fileTable.size());
    for (const TFEntry& f : fileTable)
        FSources.push_back({f.IsDirectory() ? std::string() : f.SourcePath, f.IsoSize});
    FLevel = 2;
    FThread = std::thread([this] { Execute(); });
}

TCacheThread::~TCacheThread() {
    Stop();
    WaitFor();
    std::lock_guard<std::recursive_mutex> g(FLock);
    FQueue.clear();
}

void TCacheThread::WaitFor() {
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

void TCacheThread::Stop() {
    FStop = true;
    Announce();
}

std::string TCacheThread::ErrorText() const {
    std::lock_guard<std::mutex> g(FTextLock);
    return FErrorText;
}

void TCacheThread::SetErrorText(const std::string& text) {
    {
        std::lock_guard<std::mutex> g(FTextLock);
        FErrorText = text;
    }
    Announce();
}

void TCacheThread::Announce() {
    {
        std::lock_guard<std::mutex> g(FChangeLock);
        ++FChangeCount;
    }
    FChanged.notify_all();
}

uint64_t TCacheThread::ChangeCount() const {
    std::lock_guard<std::mutex> g(FChangeLock);
    return FChangeCount;
}

void TCacheThread::WaitForChange(uint64_t seen, int timeoutMs) {
    std::unique_lock<std::mutex> g(FChangeLock);
    FChanged.wait_for(g, std::chrono::milliseconds(timeoutMs),
                      [&] { return FChangeCount != seen; });
}

std::unique_ptr<TCacheThread::Block> TCacheThread::NewBlock() {
    {
        std::lock_guard<std::mutex> g(FPoolLock);
        if (!FPool.empty()) {
            std::unique_ptr<Block> b = std::move(FPool.back());
            FPool.pop_back();
            return b;
        }
    }
    // No zeroing: the producer writes every byte it counts.
    return std::unique_ptr<Block>(new Block);
}

void TCacheThread::RecycleBlock(std::unique_ptr<TCacheBlock> block) {
    if (!block) return;
    std::lock_guard<std::mutex> g(FPoolLock);
    // Blocks cycle between the two threads; a few spare ones are all that is ever needed.
    if (FPool.size() < 16) FPool.push_back(std::move(block));
}

std::string TCacheThread::CurrentFile() const {
    std::lock_guard<std::mutex> g(FTextLock);
    return FCurrentFile;
}

int64_t TCacheThread::CachedBytes() const {
    std::lock_guard<std::recursive_mutex> g(FLock);
    return FCachedBytes;
}

int64_t TCacheThread::BytesToDeliver() const {
    std::lock_guard<std::recursive_mutex> g(FLock);
    return FBytesToDeliver;
}

int TCacheThread::QueuedBlocks() const {
    std::lock_guard<std::recursive_mutex> g(FLock);
    return int(FQueue.size());
}

void TCacheThread::SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TCacheThread::CheckStop() {
    if (FStop) throw StopRequested{};
}

void TCacheThread::QueueCurrent(int count) {
    FCurrent->Count = uint32_t(count);
    FQueue.push_back(std::move(FCurrent));
}

bool TCacheThread::QueueFull() {
    std::lock_guard<std::recursive_mutex> g(FLock);
    return int(FQueue.size()) >= FCapacity - 1;
}

void TCacheThread::WaitWhileFull(bool idle) {
    for (;;) {
        uint64_t seen = ChangeCount();
        if (!QueueFull()) break;
        if (idle) SetLevel(0);
        CheckStop();
        FReady = true;
        // A take or a stop wakes the thread; the time limit only bounds a wait that nothing
        // announced.
        WaitForChange(seen, 50);
    }
}

void TCacheThread::SetLevel(int level) {
    if (FLevel.exchange(level) == level) return;
    if (tPriority) tPriority->Apply(level);
}

void TCacheThread::Execute() {
    PriorityControl priority;
    tPriority = &priority;
    priority.Apply(2);
    try {
        {
            std::lock_guard<std::recursive_mutex> g(FLock);
            FCachedBytes = 0;
        }
        ReadHeader();
        if (ReadFiles()) {
            QueuePostGap();
            FReady = true;
            Announce();
            // Wait until the writer has taken everything, or is told to stop.
            for (;;) {
                uint64_t seen = ChangeCount();
                {
                    std::lock_guard<std::recursive_mutex> g(FLock);
                    if (FBytesToDeliver <= 0 || FQueue.empty()) break;
                }
                if (FStop) break;
                WaitForChange(seen, 10);
            }
        }
        FDone = true;
    } catch (const StopRequested&) {
        StopPath();
    }
    {
        std::lock_guard<std::recursive_mutex> g(FLock);
        FQueue.clear();
    }
    FCurrent.reset();
    FFile.reset();
    tPriority = nullptr;
    Announce();
}

void TCacheThread::StopPath() {
    while (FTaking)
        SleepMs(10);
    FTearingDown = true;
    {
        std::lock_guard<std::recursive_mutex> g(FLock);
        FQueue.clear();
        FCachedBytes = 0;
        std::lock_guard<std::mutex> t(FTextLock);
        if (FErrorText.empty()) FErrorText = "OPERATION ABORTED BY USER";
    }
    FDone = true;
    FFile.reset();
    Announce();
}

void TCacheThread::ReadHeader() {
    FHeader.SetPosition(0);
    for (;;) {
        if (!FCurrent) FCurrent = NewBlock();
        int n = int(FHeader.Read(FCurrent->Data, FBlockSize));
        if (n <= 0) break;
        {
            std::lock_guard<std::recursive_mutex> g(FLock);
            if (n == FBlockSize) {
                QueueCurrent(n);
            } else {
                // A last, shorter piece stays in the block being filled.
                FPending = n;
                FRoom = FBlockSize - n;
            }
            FCachedBytes += n;
        }
        Announce();
        WaitWhileFull(false);
        if (n < FBlockSize) break;
    }
    // The header is in the queue now; its memory goes.
    FHeader.SetSize(0);
    WaitWhileFull(false);
}

bool TCacheThread::ReadFiles() {
    const size_t last = FSources.size() - 1;
    for (size_t i = 0; i < FSources.size(); ++i) {
        const Source& src = FSources[i];
        if (src.Path.empty() || src.Size <= 0) continue;
        {
            std::lock_guard<std::mutex> g(FTextLock);
            FCurrentFile = src.Path;
        }
        FFile.reset();
        try {
            FFile = std::make_unique<TFileStreamEx>(src.Path, fmOpenRead | fmShareDenyNone);
        } catch (const std::exception&) {
            std::lock_guard<std::recursive_mutex> g(FLock);
            SetErrorText("CAN'T OPEN FILE \"" + src.Path +
                         "\" OR FILE IS IN USES BY OTHER SOFTWARE");
            FDone = true;
            Announce();
            return false;
        }
        int64_t remaining = src.Size;
        while (remaining > 0) {
            if (FRoom == 0) {
                FPending = 0;
                FRoom = FBlockSize;
            }
            if (!FCurrent) FCurrent = NewBlock();
            int t = int(std::min<int64_t>(remaining, FRoom));
            uint8_t* dst = FCurrent->Data + FPending;
            int64_t got = FFile->Read(dst, t);
            if (got < t && FFile->LastError() != 0) {
                std::lock_guard<std::recursive_mutex> g(FLock);
                SetErrorText("CAN'T READ FILE \"" + src.Path + "\"");
                FDone = true;
                Announce();
                return false;
            }
            // A file that ended early still fills its recorded size; the rest of the last
            // sector is zeros too, so the next file starts on a sector boundary.
            int rounded = int(RoundToSector(t));
            std::memset(dst + std::max<int64_t>(got, 0), 0,
                        size_t(rounded - std::max<int64_t>(got, 0)));
            FPending += rounded;
            FRoom -= rounded;
            CheckStop();
            int n;
            {
                std::lock_guard<std::recursive_mutex> g(FLock);
                if (i == last || FRoom == 0) {
                    QueueCurrent(FPending);
                    FPending = 0;
                }
                n = int(FQueue.size());
                FCachedBytes += rounded;
                remaining -= t;
            }
            // A writer that found the queue empty is woken once a batch of blocks is there
            // (or the data is complete), not for every block: it then writes them in one go,
            // and the two threads do not hand the processor to each other with every block.
            if (n >= FWakeBatch || (i == last && remaining == 0)) Announce();
            if (n < FCapacity / 4)
                SetLevel(3);
            else if (n < FCapacity / 2)
                SetLevel(2);
            else
                SetLevel(1);
            WaitWhileFull(true);
        }
    }
    FFile.reset();
    if (FPending > 0) {
        {
            std::lock_guard<std::recursive_mutex> g(FLock);
            QueueCurrent(FPending);
            FPending = 0;
        }
        Announce();
    }
    return true;
}

void TCacheThread::QueuePostGap() {
    if (!FPadToMinimum) return;
    {
        std::lock_guard<std::recursive_mutex> g(FLock);
        FBytesToDeliver += FPadding;
        for (int64_t left = FPadding; left > 0;) {
            int c = int(std::min<int64_t>(left, FBlockSize));
            if (!FCurrent) FCurrent = NewBlock();
            std::memset(FCurrent->Data, 0, size_t(c));
            QueueCurrent(c);
            FCachedBytes += c;
            left -= c;
        }
    }
    Announce();
}

int TCacheThread::GetBlock(uint8_t* dest) {
    std::unique_ptr<Block> b;
    int n = TakeBlock(b);
    if (n > 0) {
        std::memcpy(dest, b->Data, size_t(n));
        RecycleBlock(std::move(b));
    }
    return n;
}

int TCacheThread::TakeBlock(std::unique_ptr<TCacheBlock>& block) {
    {
        std::lock_guard<std::recursive_mutex> g(FLock);
        if (FBytesToDeliver <= 0 && FDone) return 0;
        if (FQueue.empty()) return FDone ? 0 : -1;
    }
    while (FTearingDown) {
        SleepMs(1);
        if (FStop) return 0;
    }
    std::lock_guard<std::recursive_mutex> g(FLock);
    FTaking = true;
    if (FQueue.empty()) { // emptied by a stop meanwhile
        FTaking = false;
        return FDone ? 0 : -1;
    }
    block = std::move(FQueue.front());
    FQueue.pop_front();
    FCachedBytes -= block->Count;
    FBytesToDeliver -= block->Count;
    FTaking = false;
    // The producer, waiting while the queue is full, is woken once a quarter of it has room
    // rather than for every block taken: it then refills them in one go, and the writer
    // does not pay for a wake-up with every block.
    if (int(FQueue.size()) <= FCapacity - 1 - std::max(1, FCapacity / 4)) Announce();
    return int(block->Count);
}

} // namespace larderly
