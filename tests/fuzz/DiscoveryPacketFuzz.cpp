// Discovery datagrams as they arrive from the network: a packet that decodes
// encodes back to one that decodes to the same packet, and so do the
// payload records it carries.
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "discovery/Packet.h"

using namespace veltraxnd;

namespace {

bool samePacket(const VX_ND_Packet& a, const VX_ND_Packet& b) {
    return a.Version == b.Version && a.OpCode == b.OpCode && a.DeviceType == b.DeviceType &&
           a.SerialNumber == b.SerialNumber && a.Token == b.Token && a.Data == b.Data;
}

// A record read from a packet, framed again, reads back the same.
void checkRecords(const VX_ND_Packet& packet) {
    VX_ND_Packet again = packet;
    if (DeviceConfig config; decodeConfiguration(packet, config)) {
        again.Data = encodeConfiguration(config);
        DeviceConfig back;
        FUZZ_CHECK(decodeConfiguration(again, back) && back == config);
    }
    if (DiscoverRecord record; decodeDiscover(packet, record)) {
        again.Data = encodeDiscover(record);
        DiscoverRecord back;
        FUZZ_CHECK(decodeDiscover(again, back));
        FUZZ_CHECK(back.ProtocolId == record.ProtocolId && back.Available == record.Available &&
                   back.Port == record.Port && back.Info == record.Info);
    }
    if (ResultCode code; decodeResult(packet, code)) {
        again.Data = encodeResult(code);
        ResultCode back;
        FUZZ_CHECK(decodeResult(again, back) && back == code);
        FUZZ_CHECK(resultCodeName(static_cast<uint16_t>(code)) != nullptr);
    }
    if (std::string info; decodeDeviceInfo(packet, info)) {
        again.Data = encodeDeviceInfo(info);
        std::string back;
        FUZZ_CHECK(decodeDeviceInfo(again, back) && back == info);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The diagnostics dump any datagram, whether it decodes or not.
    FUZZ_CHECK(!rawPacketText(data, size).empty());

    VX_ND_Packet packet;
    const DecodeResult result = decodePacket(data, size, packet);
    if (result == DecodeResult::Invalid) return 0;
    FUZZ_CHECK(!packetText(packet).empty());

    const std::vector<uint8_t> encoded = encodePacket(packet);
    FUZZ_CHECK(encoded.size() == size);
    VX_ND_Packet again;
    FUZZ_CHECK(decodePacket(encoded, again) == result);
    FUZZ_CHECK(samePacket(again, packet));
    checkRecords(packet);
    return 0;
}
