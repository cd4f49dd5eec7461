#include "MdbStream.h"

#include <charconv>
#include <cstring>

namespace lumaro::legacy {

namespace {

constexpr std::uint32_t kNull = 0xFFFFFFFFu;

void putU32(std::string& out, std::uint32_t v)
{
    char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
    out.append(b, 4);
}

std::uint32_t getU32(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(u[0]) | (std::uint32_t(u[1]) << 8) | (std::uint32_t(u[2]) << 16) | (std::uint32_t(u[3]) << 24);
}

// A count or number in a record: plain decimal digits, nothing else.
bool parseCount(const Value& v, std::uint64_t& out)
{
    if (!v || v->empty() || v->size() > 19)
        return false;
    for (char c : *v)
        if (c < '0' || c > '9')
            return false;
    auto [p, ec] = std::from_chars(v->data(), v->data() + v->size(), out);
    return ec == std::errc() && p == v->data() + v->size();
}

bool parseInt(const Value& v, int& out, int maxValue)
{
    std::uint64_t n = 0;
    if (!parseCount(v, n) || n > std::uint64_t(maxValue))
        return false;
    out = int(n);
    return true;
}

bool knownKind(char k) { return std::strchr("HTREMXZ", k) != nullptr && k != '\0'; }

} // namespace

std::string_view jetTypeName(int type)
{
    switch (type) {
    case JetBool:
        return "Boolean";
    case JetByte:
        return "Byte";
    case JetInt:
        return "Integer";
    case JetLong:
        return "Long Integer";
    case JetMoney:
        return "Currency";
    case JetFloat:
        return "Single";
    case JetDouble:
        return "Double";
    case JetDateTime:
        return "DateTime";
    case JetBinary:
        return "Binary";
    case JetText:
        return "Text";
    case JetOle:
        return "OLE";
    case JetMemo:
        return "Memo";
    case JetRepId:
        return "Replication ID";
    case JetNumeric:
        return "Numeric";
    default:
        return "Unknown";
    }
}

const Table* JetContents::table(std::string_view name) const
{
    for (const auto& t : tables)
        if (t.name == name)
            return &t;
    return nullptr;
}

// ---- writer ----

StreamWriter::StreamWriter(Sink out) : m_out(std::move(out)) {}

void StreamWriter::record(char kind, const std::vector<Value>& fields)
{
    if (!m_ok)
        return;
    m_buffer.clear();
    m_buffer.push_back(kind);
    putU32(m_buffer, std::uint32_t(fields.size()));
    for (const auto& f : fields) {
        if (!f) {
            putU32(m_buffer, kNull);
        } else {
            putU32(m_buffer, std::uint32_t(f->size()));
            m_buffer.append(*f);
        }
    }
    if (!m_out(m_buffer.data(), m_buffer.size()))
        m_ok = false;
}

void StreamWriter::header(int jetVersion, int codePage)
{
    record('H', {std::string(kStreamMagic), std::string(kStreamVersion), std::to_string(jetVersion),
                 std::to_string(codePage)});
}

void StreamWriter::beginTable(const std::string& name, const std::vector<Column>& columns, std::uint64_t rowCount)
{
    std::vector<Value> f{name, std::to_string(rowCount)};
    for (const auto& c : columns) {
        f.emplace_back(c.name);
        f.emplace_back(std::to_string(c.type));
        f.emplace_back(std::to_string(c.size));
    }
    record('T', f);
}

void StreamWriter::row(const Row& values) { record('R', values); }
void StreamWriter::endTable(std::uint64_t rowsSent) { record('E', {std::to_string(rowsSent)}); }
void StreamWriter::missingTable(const std::string& name) { record('M', {name}); }
void StreamWriter::failure(const std::string& message) { record('X', {message}); }
void StreamWriter::finish() { record('Z', {}); }

// ---- parser ----

StreamParser::StreamParser() : StreamParser(Limits{}) {}
StreamParser::StreamParser(Limits limits) : m_limits(limits) {}

bool StreamParser::fail(State state, std::string message)
{
    m_state = state;
    m_error = std::move(message);
    m_pending.clear();
    return false;
}

bool StreamParser::feed(const char* data, std::size_t size)
{
    if (m_state == State::ReaderFailed || m_state == State::Malformed)
        return false;
    if (size == 0)
        return true;
    if (m_state == State::Finished)
        return fail(State::Malformed, "資料在結束記號之後還有多餘的位元組");
    m_total += size;
    if (m_total > m_limits.maxTotal)
        return fail(State::Malformed, "資料量超過上限");
    m_pending.append(data, size);

    std::size_t pos = 0;
    std::vector<Value> fields;
    while (m_state == State::Reading) {
        const std::optional<std::size_t> end = recordEnd(pos);
        if (!end)
            break;
        const char kind = m_pending[pos];
        readFields(pos, fields);
        pos = *end;
        if (!handle(kind, fields))
            return false;
        if (m_state == State::Finished && pos != m_pending.size())
            return fail(State::Malformed, "資料在結束記號之後還有多餘的位元組");
    }
    // recordEnd found bytes no reader writes (and has dropped them all).
    if (m_state == State::Malformed)
        return false;
    m_pending.erase(0, pos);
    return true;
}

std::optional<std::size_t> StreamParser::recordEnd(std::size_t pos)
{
    const std::size_t avail = m_pending.size() - pos;
    if (avail < 1)
        return std::nullopt;
    const char kind = m_pending[pos];
    if (!knownKind(kind)) {
        fail(State::Malformed, "無法辨識的記錄種類");
        return std::nullopt;
    }
    if (avail < 5)
        return std::nullopt;
    const std::uint32_t count = getU32(m_pending.data() + pos + 1);
    if (count > m_limits.maxFields) {
        fail(State::Malformed, "記錄的欄位數過多");
        return std::nullopt;
    }
    // Walk the field lengths first; only a complete record is taken apart.
    std::size_t p = pos + 5;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (m_pending.size() - p < 4)
            return std::nullopt;
        const std::uint32_t len = getU32(m_pending.data() + p);
        p += 4;
        if (len == kNull)
            continue;
        if (len > m_limits.maxField) {
            fail(State::Malformed, "欄位值過長");
            return std::nullopt;
        }
        if (m_pending.size() - p < len)
            return std::nullopt;
        p += len;
    }
    return p;
}

void StreamParser::readFields(std::size_t pos, std::vector<Value>& fields) const
{
    const std::uint32_t count = getU32(m_pending.data() + pos + 1);
    fields.clear();
    fields.reserve(count);
    std::size_t q = pos + 5;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t len = getU32(m_pending.data() + q);
        q += 4;
        if (len == kNull) {
            fields.emplace_back(std::nullopt);
        } else {
            fields.emplace_back(std::string(m_pending.data() + q, len));
            q += len;
        }
    }
}

bool StreamParser::handle(char kind, std::vector<Value>& f)
{
    if (kind == 'X') {
        std::string msg = (f.size() == 1 && f[0]) ? *f[0] : std::string("讀取程式回報失敗");
        return fail(State::ReaderFailed, std::move(msg));
    }
    if (!m_sawHeader)
        return takeHeader(kind, f);
    switch (kind) {
    case 'T':
        return takeTable(f);
    case 'R':
        return takeRow(f);
    case 'E': {
        std::uint64_t n = 0;
        if (!m_inTable || f.size() != 1 || !parseCount(f[0], n))
            return fail(State::Malformed, "資料表結束記錄不正確");
        if (n != m_contents.tables.back().rows.size())
            return fail(State::Malformed, "資料表的列數與收到的不符");
        m_inTable = false;
        return true;
    }
    case 'M':
        if (m_inTable || f.size() != 1 || !f[0])
            return fail(State::Malformed, "缺少資料表的記錄不正確");
        m_contents.missingTables.push_back(*f[0]);
        return true;
    case 'Z':
        if (m_inTable || !f.empty())
            return fail(State::Malformed, "資料在資料表中途結束");
        m_state = State::Finished;
        return true;
    default:
        return fail(State::Malformed, "標頭重複出現");
    }
}

bool StreamParser::takeHeader(char kind, const std::vector<Value>& f)
{
    if (kind != 'H' || f.size() != 4 || f[0] != std::string(kStreamMagic) || f[1] != std::string(kStreamVersion))
        return fail(State::Malformed, "資料開頭不是讀取程式的標頭");
    if (!parseInt(f[2], m_contents.jetVersion, 255) || !parseInt(f[3], m_contents.codePage, 65535))
        return fail(State::Malformed, "標頭的版本或字碼頁不正確");
    m_sawHeader = true;
    return true;
}

bool StreamParser::takeTable(const std::vector<Value>& f)
{
    if (m_inTable)
        return fail(State::Malformed, "上一個資料表還沒結束");
    if (f.size() < 2 || (f.size() - 2) % 3 != 0 || !f[0] || !parseCount(f[1], m_rowCountHint))
        return fail(State::Malformed, "資料表記錄不正確");
    Table t;
    t.name = *f[0];
    for (std::size_t i = 2; i < f.size(); i += 3) {
        Column c;
        if (!f[i] || !parseInt(f[i + 1], c.type, 255) || !parseInt(f[i + 2], c.size, 1 << 24))
            return fail(State::Malformed, "欄位描述不正確");
        c.name = *f[i];
        t.columns.push_back(std::move(c));
    }
    m_contents.tables.push_back(std::move(t));
    m_inTable = true;
    if (onProgress)
        onProgress(m_contents.tables.back().name, 0, m_rowCountHint);
    return true;
}

bool StreamParser::takeRow(std::vector<Value>& f)
{
    if (!m_inTable)
        return fail(State::Malformed, "資料列不在資料表之內");
    Table& t = m_contents.tables.back();
    if (f.size() != t.columns.size())
        return fail(State::Malformed, "資料列的欄位數與資料表不符");
    t.rows.emplace_back(std::move(f));
    f = {};
    if (onProgress)
        onProgress(t.name, t.rows.size(), m_rowCountHint);
    return true;
}

} // namespace lumaro::legacy
