// Fuzzes the importing side's parser: arbitrary bytes from a crashed or confused reader
// must end in a clear state, never a crash, and the outcome must not depend on how the
// pipe happened to cut the bytes into pieces.
#include "MdbStream.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using lumaro::legacy::StreamParser;
    StreamParser::Limits limits;
    limits.maxField = 4096;
    limits.maxTotal = 1u << 20;
    const char* bytes = reinterpret_cast<const char*>(data);

    StreamParser whole(limits);
    whole.feed(bytes, size);

    StreamParser pieces(limits);
    const std::size_t step = size ? 1 + data[0] % 7 : 1;
    for (std::size_t i = 0; i < size; i += step)
        pieces.feed(bytes + i, std::min(step, size - i));

    if (whole.state() != pieces.state() || whole.error() != pieces.error())
        std::abort();
    if (whole.finished() && whole.contents().tables.size() != pieces.contents().tables.size())
        std::abort();
    return 0;
}
