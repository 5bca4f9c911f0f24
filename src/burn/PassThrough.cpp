// The pass-through emulation: scan of the CD drives, the emulated host adapter, device type
// and execute requests, each command sent to the drive with SG_IO.
#include "burn/PassThrough.h"
#include "burn/ScsiTexts.h"
#include "platform/Text.h"

#include <dirent.h>
#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace larderly {

namespace {
constexpr unsigned kPassThroughTimeoutMs = 120000;
constexpr const char* kManagerId = "LARDERLY PROJECT"; // 16 characters
// Host adapter status of a request the system refused for a reason other than a missing
// device (no permission, a bad request): it has no text of its own.
constexpr uint8_t kHaStatRefused = 0x1A;

// A refused open or SG_IO call: the drive never saw the request, so it carries no sense. It
// fails at the host adapter, with a status that ends a burn at once and the system's reason.
void MarkRefused(SRB_ExecSCSICmd* srb, int error, std::string& cause) {
    srb->SRB_TargStat = 0;
    srb->SRB_HaStat = (error == ENODEV || error == ENXIO || error == ENOENT)
                          ? uint8_t(HASTAT_SEL_TO)
                          : kHaStatRefused;
    cause = UpperAZ(std::strerror(error));
}
const char* HostStatusName(unsigned code) {
    static const char* const names[] = {
        "OK",          "NO CONNECT", "BUS BUSY",  "TIME OUT", "BAD TARGET",
        "ABORT",       "PARITY",     "ERROR",     "RESET",    "BAD INTR",
        "PASSTHROUGH", "SOFT ERROR", "IMM RETRY", "REQUEUE",  "TRANSPORT DISRUPTED",
        "FAILFAST"};
    return code < std::size(names) ? names[code] : "UNKNOWN";
}

const char* DriverStatusName(unsigned code) {
    static const char* const names[] = {"OK",    "BUSY",    "SOFT",    "MEDIA",
                                        "ERROR", "INVALID", "TIMEOUT", "HARD"};
    return names[code & 0x07];
}

// A request the drive may never have answered: the host adapter or the driver reports a
// failure. The statuses with an ASPI meaning keep it; every other one fails at the host
// adapter with the status named, so that the writer does not take it for a busy drive and
// try again. The driver status counts only when the target sent no status of its own (a
// check condition brings its sense with it).
void MarkHostFailure(SRB_ExecSCSICmd* srb, uint8_t status, uint16_t host, uint8_t driver,
                     std::string& cause) {
    char text[64];
    switch (host) {
    case 0x00:
        if (status != 0 || (driver & 0xF7) == 0) return;
        std::snprintf(text, sizeof text, "DRIVER STATUS %02X: %s", driver & 0xFF,
                      DriverStatusName(driver));
        srb->SRB_HaStat = kHaStatRefused;
        cause = text;
        return;
    case 0x01: // no connect
    case 0x04: // bad target
        srb->SRB_HaStat = HASTAT_SEL_TO;
        return;
    case 0x03:
        srb->SRB_HaStat = HASTAT_TIMEOUT;
        return;
    case 0x06:
        srb->SRB_HaStat = HASTAT_PARITY_ERROR;
        return;
    case 0x08:
        srb->SRB_HaStat = HASTAT_BUS_RESET;
        return;
    default:
        std::snprintf(text, sizeof text, "HOST STATUS %02X: %s", host & 0xFFFF,
                      HostStatusName(host));
        srb->SRB_HaStat = kHaStatRefused;
        cause = text;
        return;
    }
}
} // namespace

std::vector<std::string> PassThroughSystem::CdDevices() {
    std::vector<std::pair<int, std::string>> found;
    if (DIR* d = opendir("/dev")) {
        while (dirent* e = readdir(d)) {
            const char* n = e->d_name;
            if (std::strncmp(n, "sr", 2) != 0 || !n[2]) continue;
            bool digits =
                std::all_of(n + 2, n + std::strlen(n), [](char c) { return c >= '0' && c <= '9'; });
            if (!digits) continue;
            found.emplace_back(std::atoi(n + 2), std::string("/dev/") + n);
        }
        closedir(d);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto& f : found)
        out.push_back(f.second);
    return out;
}

int PassThroughSystem::Open(const std::string& path, int flags) {
    return ::open(path.c_str(), flags | O_CLOEXEC);
}
int PassThroughSystem::Close(int fd) {
    return ::close(fd);
}
int PassThroughSystem::Ioctl(int fd, unsigned long request, void* arg) {
    return ::ioctl(fd, request, arg);
}
std::string PassThroughSystem::ReadLink(const std::string& path) {
    char buf[PATH_MAX];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string{};
}

PassThroughTransport::PassThroughTransport(std::unique_ptr<PassThroughSystem> system)
    : sys_(system ? std::move(system) : std::make_unique<PassThroughSystem>()) {}

PassThroughTransport::~PassThroughTransport() {
    for (Entry& e : table_)
        if (e.handle != -1) sys_->Close(e.handle);
}

std::string PassThroughTransport::Name() const {
    return texts::kPassThroughName;
}

int PassThroughTransport::OpenDrive(const std::string& path) {
    // Read and write access first (writing commands need it), read-only as a fall-back.
    int fd = sys_->Open(path, O_RDWR | O_NONBLOCK);
    if (fd < 0) fd = sys_->Open(path, O_RDONLY | O_NONBLOCK);
    return fd;
}

void PassThroughTransport::ComputeAdapterCount() {
    int highest = -1;
    for (const Entry& e : table_)
        if (e.present) highest = std::max(highest, static_cast<int>(e.adapter));
    adapterCount_ = highest + 1;
    if (adapterCount_ < 1) adapterCount_ = 1;
}

int PassThroughTransport::Scan() {
    if (scanned_) return found_;
    scanned_ = true;
    for (Entry& e : table_) {
        if (e.handle != -1) sys_->Close(e.handle);
        e = Entry{};
    }
    noAddressCount_ = 0;
    found_ = 0;
    std::vector<std::string> devices = sys_->CdDevices();
    int number = 0;
    for (const std::string& path : devices) {
        if (number >= kTableSize) break;
        int fd = OpenDrive(path);
        if (fd < 0) continue;
        Entry& e = table_[number];
        uint8_t cdb[6] = {0x12, 0, 0, 0, 0x60, 0};
        uint8_t data[96] = {};
        uint8_t sense[32] = {};
        sg_io_hdr_t hdr{};
        hdr.interface_id = 'S';
        hdr.dxfer_direction = SG_DXFER_FROM_DEV;
        hdr.cmd_len = 6;
        hdr.cmdp = cdb;
        hdr.mx_sb_len = 24;
        hdr.sbp = sense;
        hdr.dxfer_len = sizeof data;
        hdr.dxferp = data;
        hdr.timeout = kPassThroughTimeoutMs;
        if (sys_->Ioctl(fd, SG_IO, &hdr) != 0 || hdr.status != 0 || hdr.host_status != 0 ||
            (hdr.driver_status & 0xF7) != 0) {
            sys_->Close(fd);
            continue;
        }
        std::memcpy(e.inquiry.data(), data, e.inquiry.size());
        int idlun[2] = {0, 0};
        bool addressed = false;
        if (sys_->Ioctl(fd, SCSI_IOCTL_GET_IDLUN, idlun) == 0) {
            e.host = (idlun[0] >> 24) & 0xFF;
            e.target = static_cast<uint8_t>(idlun[0] & 0xFF);
            e.lun = static_cast<uint8_t>((idlun[0] >> 8) & 0xFF);
            addressed = true;
        } else {
            // The sysfs device folder is named host:channel:target:lun.
            std::string base = path.substr(path.rfind('/') + 1);
            std::string link = sys_->ReadLink("/sys/class/block/" + base + "/device");
            std::string last = link.substr(link.rfind('/') + 1);
            unsigned h, c, t, l;
            char tail;
            if (std::sscanf(last.c_str(), "%u:%u:%u:%u%c", &h, &c, &t, &l, &tail) == 4 && h < 256 &&
                t < 256 && l < 256) {
                e.host = static_cast<int>(h);
                e.target = static_cast<uint8_t>(t);
                e.lun = static_cast<uint8_t>(l);
                addressed = true;
            }
        }
        if (!addressed) {
            e.adapter = 0;
            e.target = static_cast<uint8_t>(noAddressCount_++);
            e.lun = kNoAddressLun;
        }
        e.driveNumber = static_cast<uint8_t>(number);
        e.path = path;
        e.letter = letterOf_ ? letterOf_(path) : 0;
        e.present = true;
        sys_->Close(fd);
        ++found_;
        ++number;
    }
    // A list line holds one digit per adapter, and USB writers often sit on host 10 or
    // higher: the hosts with drives become adapters 0, 1, ... in the order of their numbers.
    // The drive itself is still opened through its device node.
    std::vector<int> hosts;
    for (const Entry& e : table_)
        if (e.present && e.host >= 0) hosts.push_back(e.host);
    std::sort(hosts.begin(), hosts.end());
    hosts.erase(std::unique(hosts.begin(), hosts.end()), hosts.end());
    for (Entry& e : table_)
        if (e.present && e.host >= 0)
            e.adapter = static_cast<uint8_t>(std::lower_bound(hosts.begin(), hosts.end(), e.host) -
                                             hosts.begin());
    ComputeAdapterCount();
    if (noAddressCount_ > 0) {
        // Drives without an address form one extra adapter after the real ones.
        uint8_t extra = static_cast<uint8_t>(adapterCount_);
        for (Entry& e : table_) {
            if (e.present && e.lun == kNoAddressLun) {
                e.lun = 0;
                e.adapter = extra;
            }
        }
        ComputeAdapterCount();
    }
    return found_;
}

uint32_t PassThroughTransport::GetSupportInfo() {
    if (adapterCount_ == 0) return static_cast<uint32_t>(SS_NO_ADAPTERS) << 8;
    return (static_cast<uint32_t>(SS_COMP) << 8) | static_cast<uint8_t>(adapterCount_);
}

PassThroughTransport::Entry* PassThroughTransport::Find(uint8_t adapter, uint8_t target,
                                                        uint8_t lun) {
    for (Entry& e : table_)
        if (e.present && e.adapter == adapter && e.target == target && e.lun == lun) return &e;
    return nullptr;
}

char PassThroughTransport::DriveLetter(uint8_t adapter, uint8_t target, uint8_t lun) {
    Entry* e = Find(adapter, target, lun);
    return e ? e->letter : 0;
}

uint32_t PassThroughTransport::SendCommand(void* block) {
    if (!block) return SS_ERR;
    auto* hdr = static_cast<SRB_Header*>(block);
    switch (hdr->SRB_Cmd) {
    case SC_HA_INQUIRY: {
        auto* q = static_cast<SRB_HAInquiry*>(block);
        if (q->SRB_HaId >= adapterCount_) {
            q->SRB_Status = SS_INVALID_HA;
            return q->SRB_Status;
        }
        q->HA_Count = static_cast<uint8_t>(adapterCount_);
        q->HA_SCSI_ID = 7;
        std::memcpy(q->HA_ManagerId, kManagerId, 16);
        std::memset(q->HA_Identifier, 0, 16);
        std::memcpy(q->HA_Identifier, "SPTI ", 5);
        q->HA_Identifier[5] = static_cast<uint8_t>('0' + q->SRB_HaId % 10);
        std::memset(q->HA_Unique, 0, 16);
        q->HA_Unique[0] = 7; // buffer alignment mask
        q->HA_Unique[3] = 8; // targets
        uint32_t maxTransfer = 0x00FF0000;
        std::memcpy(q->HA_Unique + 4, &maxTransfer, 4);
        q->SRB_Status = SS_COMP;
        return q->SRB_Status;
    }
    case SC_GET_DEV_TYPE: {
        auto* g = static_cast<SRB_GDEVBlock*>(block);
        if (Find(g->SRB_HaId, g->SRB_Target, g->SRB_Lun)) {
            g->SRB_DeviceType = 5;
            g->SRB_Status = SS_COMP;
        } else {
            g->SRB_DeviceType = 0x1F;
            g->SRB_Status = SS_NO_DEVICE;
        }
        return g->SRB_Status;
    }
    case SC_EXEC_SCSI_CMD:
        return Execute(static_cast<SRB_ExecSCSICmd*>(block));
    case SC_GET_DISK_INFO:
        hdr->SRB_Status = SS_PENDING;
        return SS_ERR;
    default:
        hdr->SRB_Status = SS_ERR;
        return SS_ERR;
    }
}

uint32_t PassThroughTransport::Execute(SRB_ExecSCSICmd* srb) {
    auto finish = [srb](uint8_t status) {
        srb->SRB_Status = status;
        if (srb->SRB_Flags & SRB_EVENT_NOTIFY && srb->SRB_PostProc) {
            auto* ev = static_cast<AspiEvent*>(srb->SRB_PostProc);
            ev->signal(ev);
        }
        return static_cast<uint32_t>(status);
    };
    Entry* e = Find(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun);
    if (!e) return finish(SS_NO_DEVICE);
    if (srb->CDBByte[0] == 0x12) {
        // INQUIRY never reaches the drive: the scan's answer stands in for it.
        if (srb->SRB_HaId >= adapterCount_) return finish(SS_INVALID_HA);
        std::size_t n = std::min<std::size_t>(36, srb->SRB_BufLen);
        if (srb->SRB_BufPointer) std::memcpy(srb->SRB_BufPointer, e->inquiry.data(), n);
        return finish(SS_COMP);
    }
    lastCause_.clear();
    if (e->handle == -1) {
        errno = 0;
        e->handle = OpenDrive(e->path);
    }
    uint8_t status = SS_ERR;
    if (e->handle < 0) MarkRefused(srb, errno ? errno : ENODEV, lastCause_);
    if (e->handle >= 0) {
        uint8_t sense[64] = {};
        sg_io_hdr_t hdr{};
        hdr.interface_id = 'S';
        if (srb->SRB_Flags & SRB_DIR_IN)
            hdr.dxfer_direction = SG_DXFER_FROM_DEV;
        else if (srb->SRB_Flags & SRB_DIR_OUT)
            hdr.dxfer_direction = SG_DXFER_TO_DEV;
        else
            hdr.dxfer_direction = srb->SRB_BufLen ? SG_DXFER_TO_FROM_DEV : SG_DXFER_NONE;
        hdr.cmd_len = std::min<uint8_t>(srb->SRB_CDBLen, 16);
        hdr.cmdp = srb->CDBByte;
        hdr.mx_sb_len = std::min<uint8_t>(srb->SRB_SenseLen, ASPI_SENSE_LEN);
        hdr.sbp = sense;
        hdr.dxfer_len = srb->SRB_BufPointer ? srb->SRB_BufLen : 0;
        hdr.dxferp = srb->SRB_BufPointer;
        hdr.timeout = kPassThroughTimeoutMs;
        errno = 0;
        int rc = sys_->Ioctl(e->handle, SG_IO, &hdr);
        if (rc == 0 && hdr.status == 0 && hdr.host_status == 0 && (hdr.driver_status & 0xF7) == 0) {
            status = SS_COMP;
        } else if (rc != 0) {
            MarkRefused(srb, errno ? errno : EIO, lastCause_);
        } else {
            std::memcpy(srb->SenseArea, sense,
                        std::min<std::size_t>(hdr.sb_len_wr, ASPI_SENSE_LEN));
            srb->SRB_TargStat = hdr.status;
            srb->SRB_HaStat = 0;
            MarkHostFailure(srb, hdr.status, hdr.host_status, hdr.driver_status, lastCause_);
        }
    }
    if (closeAfterCommand_ && e->handle >= 0) {
        sys_->Close(e->handle);
        e->handle = -1;
    }
    return finish(status);
}

} // namespace larderly
