// A scripted CD/DVD writer behind the transport interface, for unit tests of the device, the
// drive commands and the writer. It records every request block it is sent, answers the
// commands the engine uses from a small disc model, and lets a test inject answers.
#pragma once

#include "burn/ScsiTransport.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace larderly::test {

struct SentRequest {
    uint8_t flags = 0;
    uint8_t cdbLength = 0;
    std::array<uint8_t, 16> cdb{};
    uint32_t dataLength = 0;
    std::vector<uint8_t> dataOut; // what a data-out command carried
};

struct Answer {
    uint8_t status = SS_ERR;
    uint8_t haStat = 0;
    uint8_t targStat = STATUS_CHKCOND;
    uint8_t key = 0, asc = 0, ascq = 0;
};

inline Answer CheckCondition(uint8_t key, uint8_t asc, uint8_t ascq) {
    return Answer{SS_ERR, 0, STATUS_CHKCOND, key, asc, ascq};
}
inline Answer TargetBusy() {
    return Answer{SS_ERR, 0, STATUS_BUSY, 0, 0, 0};
}

class FakeDrive : public ScsiTransport {
public:
    // Disc model: a CD-R by default.
    uint16_t profile = 0x09;
    int discStatus = 0; // 0 empty, 1 appendable, 2 complete
    int lastSessionState = 0;
    int sessions = 1; // as READ DISC INFORMATION reports it
    uint32_t nwa = 0; // next writable address of the invisible track
    std::array<uint8_t, 40> inquiry{};
    std::vector<uint8_t> capsPage = DefaultCapsPage();
    std::vector<uint8_t> writePage = DefaultWritePage();
    bool acceptModeSelect = true;
    uint32_t bufferSize = 2 * 1024 * 1024;
    char letter = 'E';
    uint8_t adapters = 1;
    int reportedAdapters = -1; // what host adapter inquiry reports; -1: `adapters`
    uint8_t address[3] = {0, 0, 0};

    std::map<uint8_t, uint8_t> features; // feature code -> first data byte, as reported
    std::map<uint32_t, std::vector<uint8_t>> sectors; // written data by LBA
    std::vector<SentRequest> sent;
    // Returns an answer to override the model's; nullopt lets the model answer.
    std::function<std::optional<Answer>(const SentRequest&)> inject;

    FakeDrive() {
        const char* id = "LARDERLYFAKE WRITER     1.00";
        inquiry[0] = 5;
        std::memcpy(&inquiry[8], id, 28);
    }

    static std::vector<uint8_t> DefaultCapsPage() {
        std::vector<uint8_t> p(32, 0);
        p[0] = 0x2A;
        p[1] = 30;
        p[2] = 0x3F;
        p[3] = 0x37;
        p[4] = 0x80;
        p[8] = 0x21, p[9] = 0x13;   // 8467 max read
        p[12] = 0x08, p[13] = 0x00; // 2048 KiB buffer
        p[14] = 0x21, p[15] = 0x13;
        p[18] = 0x1B, p[19] = 0x90; // 7056 max write
        p[20] = 0x0B, p[21] = 0x06; // 2822 current write
        return p;
    }
    static std::vector<uint8_t> DefaultWritePage() {
        std::vector<uint8_t> p(52, 0);
        p[0] = 0x05;
        p[1] = 0x32;
        p[2] = 0x01;
        p[3] = 0x04;
        p[4] = 0x08;
        return p;
    }

    std::vector<SentRequest> SentWith(uint8_t opcode) const {
        std::vector<SentRequest> out;
        for (const auto& r : sent)
            if (r.cdb[0] == opcode) out.push_back(r);
        return out;
    }
    std::vector<uint8_t> Opcodes() const {
        std::vector<uint8_t> out;
        for (const auto& r : sent)
            out.push_back(r.cdb[0]);
        return out;
    }

    std::string Name() const override { return "FAKE"; }
    uint32_t GetSupportInfo() override { return 0x100u | adapters; }
    char DriveLetter(uint8_t, uint8_t, uint8_t) override { return letter; }

    uint32_t SendCommand(void* block) override {
        auto* hdr = static_cast<SRB_Header*>(block);
        if (hdr->SRB_Cmd == SC_HA_INQUIRY) {
            auto* q = static_cast<SRB_HAInquiry*>(block);
            if (q->SRB_HaId >= adapters) return q->SRB_Status = SS_INVALID_HA;
            q->HA_Count = reportedAdapters < 0 ? adapters : uint8_t(reportedAdapters);
            std::memcpy(q->HA_ManagerId, "FAKE MANAGER    ", 16);
            std::memcpy(q->HA_Identifier, "FAKE 0  ", 8);
            return q->SRB_Status = SS_COMP;
        }
        if (hdr->SRB_Cmd != SC_EXEC_SCSI_CMD) return hdr->SRB_Status = SS_ERR;
        auto* srb = static_cast<SRB_ExecSCSICmd*>(block);
        SentRequest r;
        r.flags = srb->SRB_Flags;
        r.cdbLength = srb->SRB_CDBLen;
        std::memcpy(r.cdb.data(), srb->CDBByte, 16);
        r.dataLength = srb->SRB_BufLen;
        if ((srb->SRB_Flags & SRB_DIR_OUT) && srb->SRB_BufPointer)
            r.dataOut.assign(srb->SRB_BufPointer, srb->SRB_BufPointer + srb->SRB_BufLen);
        {
            std::lock_guard<std::mutex> lock(m_);
            sent.push_back(r);
        }
        Answer a{SS_COMP, 0, 0, 0, 0, 0};
        if (srb->SRB_HaId != address[0] || srb->SRB_Target != address[1] ||
            srb->SRB_Lun != address[2]) {
            a = Answer{SS_NO_DEVICE, 0, 0, 0, 0, 0};
        } else if (auto injected = inject ? inject(r) : std::nullopt) {
            a = *injected;
        } else {
            a = Model(r, srb->SRB_BufPointer, srb->SRB_BufLen);
        }
        srb->SRB_HaStat = a.haStat;
        srb->SRB_TargStat = a.status == SS_COMP ? 0 : a.targStat;
        if (a.status == SS_ERR && a.targStat == STATUS_CHKCOND && (a.key || a.asc || a.ascq)) {
            std::memset(srb->SenseArea, 0, ASPI_SENSE_LEN);
            srb->SenseArea[0] = 0x70;
            srb->SenseArea[2] = a.key;
            srb->SenseArea[7] = 10;
            srb->SenseArea[12] = a.asc;
            srb->SenseArea[13] = a.ascq;
        }
        srb->SRB_Status = a.status;
        if ((srb->SRB_Flags & SRB_EVENT_NOTIFY) && srb->SRB_PostProc) {
            auto* ev = static_cast<AspiEvent*>(srb->SRB_PostProc);
            ev->signal(ev);
        }
        return a.status;
    }

private:
    static void Put16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v >> 8), p[1] = uint8_t(v); }
    static void Put32(uint8_t* p, uint32_t v) {
        p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
    }
    static uint32_t Get32(const uint8_t* p) {
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    }

    Answer Model(const SentRequest& r, uint8_t* data, uint32_t len) {
        Answer ok{SS_COMP, 0, 0, 0, 0, 0};
        auto fill = [&](const std::vector<uint8_t>& v) {
            if (data) std::memcpy(data, v.data(), std::min<std::size_t>(v.size(), len));
        };
        switch (r.cdb[0]) {
        case 0x12: {
            std::vector<uint8_t> v(inquiry.begin(), inquiry.end());
            v.resize(36, ' ');
            fill(v);
            return ok;
        }
        case 0x46: {
            std::vector<uint8_t> v(16, 0);
            Put16(&v[6], profile);
            if (r.cdb[1] == 2 && features.count(r.cdb[3])) {
                Put16(&v[8], r.cdb[3]);
                v[11] = 4;
                v[12] = features[r.cdb[3]];
            }
            fill(v);
            return ok;
        }
        case 0x5A: {
            uint8_t page = r.cdb[2] & 0x3F;
            const std::vector<uint8_t>* p = page == 0x2A   ? &capsPage
                                            : page == 0x05 ? &writePage
                                                           : nullptr;
            if (!p) return CheckCondition(5, 0x24, 0);
            std::vector<uint8_t> v(8, 0);
            v.insert(v.end(), p->begin(), p->end());
            Put16(&v[0], uint32_t(v.size() - 2));
            fill(v);
            return ok;
        }
        case 0x55:
            if (!acceptModeSelect) return CheckCondition(5, 0x26, 0);
            if (r.dataOut.size() > 8 && r.dataOut[8] == 0x05)
                writePage.assign(r.dataOut.begin() + 8,
                                 r.dataOut.begin() + 8 +
                                     std::min<std::size_t>(52, r.dataOut.size() - 8));
            return ok;
        case 0x51: {
            std::vector<uint8_t> v(34, 0);
            Put16(&v[0], 32);
            v[2] = uint8_t(discStatus | (lastSessionState << 2));
            v[4] = uint8_t(sessions);
            fill(v);
            return ok;
        }
        case 0x52: {
            std::vector<uint8_t> v(40, 0);
            Put16(&v[0], 38);
            Put32(&v[8], nwa);
            Put32(&v[12], nwa);
            v[7] = 1;
            fill(v);
            return ok;
        }
        case 0x5C: {
            std::vector<uint8_t> v(12, 0);
            Put32(&v[4], bufferSize);
            Put32(&v[8], bufferSize / 2);
            fill(v);
            return ok;
        }
        case 0x2A: {
            uint32_t lba = Get32(&r.cdb[2]);
            uint32_t count = uint32_t(r.cdb[7]) << 8 | r.cdb[8];
            for (uint32_t i = 0; i < count; ++i) {
                std::vector<uint8_t> s(2048, 0);
                if (r.dataOut.size() >= (i + 1) * 2048)
                    std::memcpy(s.data(), &r.dataOut[i * 2048], 2048);
                sectors[lba + i] = s;
            }
            return ok;
        }
        case 0x43:
            return CheckCondition(5, 0x24, 0);
        default:
            return ok;
        }
    }

    std::mutex m_;
};

} // namespace larderly::test
