// Fuzzes the reader process's work: libmdb plus our table walk, over arbitrary file
// bytes. Whatever it sends must be a stream the importing side accepts as well formed.
// Crashes inside libmdb itself are what the separate reader process is for; this target
// finds them and any in our own code.
#include "JetReader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string bytes;
    lumaro::legacy::StreamWriter out([&](const char* d, std::size_t n) {
        bytes.append(d, n);
        return bytes.size() < (64u << 20);
    });
    const bool ok = lumaro::legacy::readJetBuffer(data, size, {}, out);

    lumaro::legacy::StreamParser parser;
    parser.feed(bytes);
    using State = lumaro::legacy::StreamParser::State;
    if (parser.state() == State::Malformed)
        std::abort();
    if (ok && out.ok() && !parser.finished())
        std::abort();
    return 0;
}
