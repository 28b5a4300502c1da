// Runs the LZHUF decoder of TD0's advanced compression over arbitrary bytes and
// checks that it takes only the bytes it is given, ends, gives at most 48 bytes
// per input byte (a literal costs at least a bit, a copy of up to 60 bytes at
// least 10), and gives the same bytes whatever the size of the reads. The same
// bytes, compressed by the generator, must decompress to themselves, followed at
// most by the few literals that the zero bits padding the last byte may spell
// (a stream holds no length: TD0's end mark ends it).
#include "FuzzCheck.h"
#include "ImageBuilder.h"
#include "LzhufDecoder.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using namespace tabulon;
using fuzz::Check;

std::vector<std::uint8_t> Decompress(DiskData& input, std::size_t readSize) {
    LzhufDecoder decoder{ImageReader(input)};
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> chunk(readSize);
    const std::size_t limit = 48 * static_cast<std::size_t>(input.FileLength());
    for (std::size_t got = 0; (got = decoder.Read(chunk)) > 0;) {
        Check(got <= readSize, "a read gives at most what was asked for");
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
        Check(out.size() <= limit, "at most 48 bytes out per byte in");
    }
    Check(decoder.InputUsed() <= input.FileLength(), "only the input's bytes are read");
    Check(decoder.Read(chunk) == 0, "an ended stream stays ended");
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024) return 0;
    DiskData input = DiskData::FromBytes({data, size});
    const auto whole = Decompress(input, 4096);
    Check(Decompress(input, 1 + size % 61) == whole, "the same bytes whatever the read size");

    const auto packed = images::LzhufCompress({data, size});
    DiskData image = DiskData::FromBytes(packed);
    const auto back = Decompress(image, 4096);
    Check(back.size() >= size && back.size() <= size + 7 && std::equal(data, data + size, back.begin()),
          "a round trip gives the bytes back");
    return 0;
}
