// libFuzzer target for decodeStatusReply. Byte 0 is outputCount, or 0xFF and byte 1 picks it:
// 0xFF 255, 0xFE INT_MAX, 0xFD INT_MIN, any other c -1 - c. The rest is the chunk.

#include "matrix/replydecoder.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define CHECK(condition)                                                                           \
    if (!(condition)) {                                                                            \
        std::fprintf(stderr, "reply decoder invariant broken: %s\n", #condition);                  \
        std::abort();                                                                              \
    }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const size_t header = size > 0 && data[0] == 0xFF ? 2 : 1;
    if (size < header)
        return 0;
    const int c = data[header - 1];
    const int special[] = {INT_MIN, INT_MAX, 255};
    const int outputCount = header == 1 ? c : c >= 0xFD ? special[c - 0xFD] : -1 - c;
    const uint8_t *r = data + header;
    const size_t n = size - header;
    const StatusReply reply
        = decodeStatusReply(QByteArray(reinterpret_cast<const char *>(r), int(n)), outputCount);

    // The kind follows from the bytes alone.
    const bool prefixed = n >= 2 && r[1] == ':';
    const bool info = prefixed && n > 7 && r[2] == 0x04 && r[7] == 'x' && r[n - 1] != '!';
    bool digits = true;
    for (size_t i = 2; i < n; ++i)
        digits = digits && r[i] >= '0' && r[i] <= '9';
    const bool map
        = prefixed && !info && digits && outputCount > 0 && n - 2 == 2 * size_t(outputCount);
    CHECK((reply.kind == StatusReply::DeviceInformation) == info
          && (reply.kind == StatusReply::RoutingMap) == map);
    CHECK(reply.sources.size() == (map ? outputCount : 0));
    for (int j = 0; j < reply.sources.size(); ++j)
        CHECK(reply.sources[j] == (r[2 + 2 * j] - '0') * 10 + (r[3 + 2 * j] - '0'));

    CHECK(info
          || (reply.deviceLetter.isEmpty() && reply.model.isEmpty() && reply.inputs == 0
              && reply.outputs == 0 && !reply.countsAccepted));
    CHECK(reply.deviceLetter.size() <= 1 && size_t(reply.model.size()) <= n);
    CHECK(reply.inputs >= -9 && reply.inputs <= 99 && reply.outputs >= -9 && reply.outputs <= 99);
    CHECK(reply.countsAccepted == (reply.inputs >= 1 && reply.outputs >= 1));
    return 0;
}
