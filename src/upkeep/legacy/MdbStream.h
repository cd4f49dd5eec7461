// The byte stream between the Jet reader process and the program that imports its
// tables. The reader runs libmdb, which can crash or loop on a damaged file, so it
// lives in its own process; the importing side trusts nothing it receives and checks
// every length, count and the order of the records before it uses a single value.
//
// A record is one kind byte, a 32-bit little-endian field count, and that many fields.
// A field is a 32-bit little-endian length followed by the bytes, or the length
// 0xFFFFFFFF alone for NULL. Kinds, in the order they may appear:
//   'H' header    [magic, format version, Jet version, code page]
//   'T' table     [name, row count from the table definition, then name, type and size
//                  of each column]
//   'R' row       [one value per column]
//   'E' end       [rows sent]
//   'M' missing   [table name]     (a table that was asked for and is not in the file)
//   'X' failure   [message]        (the reader gave up; nothing it sent may be used)
//   'Z' finished  []
// The stream is H, then any number of (T R* E) or M, then Z.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumaro::legacy {

// A value as libmdb prints it (UTF-8 text, numbers in C locale); nullopt is NULL.
using Value = std::optional<std::string>;
using Row = std::vector<Value>;

// Column types as Jet numbers them.
enum JetType : int {
    JetBool = 0x01,
    JetByte = 0x02,
    JetInt = 0x03,
    JetLong = 0x04,
    JetMoney = 0x05,
    JetFloat = 0x06,
    JetDouble = 0x07,
    JetDateTime = 0x08,
    JetBinary = 0x09,
    JetText = 0x0a,
    JetOle = 0x0b,
    JetMemo = 0x0c,
    JetRepId = 0x0f,
    JetNumeric = 0x10,
};

std::string_view jetTypeName(int type);

struct Column {
    std::string name;
    int type = 0;
    int size = 0;
};

struct Table {
    std::string name;
    std::vector<Column> columns;
    std::vector<Row> rows;
};

struct JetContents {
    int jetVersion = -1; // 0 is Jet 3, 1 is Jet 4, higher are the later Access formats
    int codePage = 0;
    std::vector<Table> tables;
    std::vector<std::string> missingTables;

    const Table* table(std::string_view name) const;
};

inline constexpr std::string_view kStreamMagic = "lumaro-mdb";
inline constexpr std::string_view kStreamVersion = "1";

class StreamWriter {
public:
    // out receives the encoded bytes; it returns false when they cannot be delivered,
    // after which the writer drops everything (the reader stops at its next check).
    using Sink = std::function<bool(const char* data, std::size_t size)>;
    explicit StreamWriter(Sink out);

    void header(int jetVersion, int codePage);
    void beginTable(const std::string& name, const std::vector<Column>& columns, std::uint64_t rowCount);
    void row(const Row& values);
    void endTable(std::uint64_t rowsSent);
    void missingTable(const std::string& name);
    void failure(const std::string& message);
    void finish();

    bool ok() const { return m_ok; }

private:
    void record(char kind, const std::vector<Value>& fields);

    Sink m_out;
    bool m_ok = true;
    std::string m_buffer;
};

// Reads the stream piece by piece, as it arrives from the pipe.
class StreamParser {
public:
    struct Limits {
        std::size_t maxField = 16u << 20;    // one value
        std::size_t maxFields = 1024;        // fields in one record
        std::uint64_t maxTotal = 1ull << 30; // the whole stream
    };

    enum class State { Reading, Finished, ReaderFailed, Malformed };

    StreamParser();
    explicit StreamParser(Limits limits);

    // Takes the next bytes. Returns false once the stream is unusable (a reader
    // failure or malformed bytes); further bytes are then ignored.
    bool feed(const char* data, std::size_t size);
    bool feed(std::string_view bytes) { return feed(bytes.data(), bytes.size()); }

    State state() const { return m_state; }
    bool finished() const { return m_state == State::Finished; }
    // Why the stream is unusable: the reader's own message, or what was wrong.
    const std::string& error() const { return m_error; }
    std::uint64_t bytesSeen() const { return m_total; }

    const JetContents& contents() const { return m_contents; }
    JetContents takeContents() { return std::move(m_contents); }

    // Called after each row, and when a table starts, with the table being read,
    // the rows read from it so far and its row count from the table definition.
    std::function<void(const std::string& table, std::uint64_t rows, std::uint64_t rowCount)> onProgress;

private:
    bool fail(State state, std::string message);
    // The end of the record that starts at pos once the bytes hold all of it;
    // nothing while they hold only a part. A kind, field count or length that
    // no reader writes fails the stream, and gives nothing too.
    std::optional<std::size_t> recordEnd(std::size_t pos);
    // The fields of the whole record that starts at pos.
    void readFields(std::size_t pos, std::vector<Value>& fields) const;
    // Takes a record apart by its kind; fields may be moved from.
    bool handle(char kind, std::vector<Value>& fields);
    bool takeHeader(char kind, const std::vector<Value>& fields);
    bool takeTable(const std::vector<Value>& fields);
    bool takeRow(std::vector<Value>& fields);

    Limits m_limits;
    State m_state = State::Reading;
    std::string m_error;
    std::string m_pending;
    std::uint64_t m_total = 0;
    bool m_sawHeader = false;
    bool m_inTable = false;
    std::uint64_t m_rowCountHint = 0;
    JetContents m_contents;
};

} // namespace lumaro::legacy
