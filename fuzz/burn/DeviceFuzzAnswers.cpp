// Drive answers as the engine must survive them: a drive whose every answer (status, sense and
// data) comes from the fuzzer input, behind selection, the probes, the write parameters page,
// the next writable address and the wait for readiness.
#include "burn/DiscBurner.h"
#include "burn/ScsiTransport.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace larderly;

namespace {

class FuzzDrive : public ScsiTransport {
public:
    FuzzDrive(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    std::string Name() const override { return "FUZZ"; }
    uint32_t GetSupportInfo() override { return 0x101; }
    char DriveLetter(uint8_t, uint8_t, uint8_t) override { return Byte() % 2 ? 'E' : 0; }
    uint32_t SendCommand(void* block) override {
        auto* hdr = static_cast<SRB_Header*>(block);
        if (hdr->SRB_Cmd == SC_HA_INQUIRY) {
            auto* q = static_cast<SRB_HAInquiry*>(block);
            q->HA_Count = Byte() % 3;
            for (auto& b : q->HA_ManagerId)
                b = Byte();
            for (auto& b : q->HA_Identifier)
                b = Byte();
            return q->SRB_Status = Byte() % 4 ? SS_COMP : SS_INVALID_HA;
        }
        if (hdr->SRB_Cmd != SC_EXEC_SCSI_CMD) return hdr->SRB_Status = SS_ERR;
        auto* srb = static_cast<SRB_ExecSCSICmd*>(block);
        if (srb->SRB_Target || srb->SRB_Lun || srb->SRB_HaId) return Finish(srb, SS_NO_DEVICE);
        uint8_t kind = Byte();
        if (srb->CDBByte[0] == 0x12) {
            // A CD drive, so that selection goes on to the probes.
            if (srb->SRB_BufPointer) {
                for (uint32_t i = 0; i < srb->SRB_BufLen; ++i)
                    srb->SRB_BufPointer[i] = Byte();
                srb->SRB_BufPointer[0] = 5;
            }
            return Finish(srb, SS_COMP);
        }
        if ((srb->SRB_Flags & SRB_DIR_IN) && srb->SRB_BufPointer) {
            uint32_t n = kind % 2 ? srb->SRB_BufLen : std::min<uint32_t>(srb->SRB_BufLen, Byte());
            for (uint32_t i = 0; i < n; ++i)
                srb->SRB_BufPointer[i] = Byte();
        }
        if (kind % 5 == 0) {
            srb->SRB_HaStat = Byte() % 2 ? 0 : Byte();
            srb->SRB_TargStat = Byte();
            for (auto& b : srb->SenseArea)
                b = Byte();
            return Finish(srb, kind % 3 ? SS_ERR : Byte());
        }
        return Finish(srb, SS_COMP);
    }

private:
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint32_t Finish(SRB_ExecSCSICmd* srb, uint8_t status) {
        srb->SRB_Status = status == SS_PENDING ? SS_ERR : status;
        if ((srb->SRB_Flags & SRB_EVENT_NOTIFY) && srb->SRB_PostProc) {
            auto* ev = static_cast<AspiEvent*>(srb->SRB_PostProc);
            ev->signal(ev);
        }
        return srb->SRB_Status;
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InstallTransport(std::make_unique<FuzzDrive>(data, size));
    {
        TDiscBurner burner;
        burner.Sleeper = [](uint32_t) {};
        burner.DoDebug = true;
        burner.OnDebugMessage = [](TSCSIDevice*, const std::string&, uint8_t) {};
        burner.Enumerate();
        burner.SelectDevice("0:0:0,E: FUZZ");
        int kind = burner.GetMediaKind();
        burner.SessionCount();
        burner.SetWriteParameters(false, true, kind, false);
        uint32_t address = 0;
        burner.NextWritableAddress(address);
        burner.WaitUnitReady(20000, 1000);
        burner.ReadBufferCapacity();
    }
    InstallTransport(nullptr);
    return 0;
}
