#include "JetReader.h"

#include <mdbtools.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>

namespace lumaro::legacy {

namespace {

// Memo values longer than this are cut by libmdb; the shop's texts are far shorter.
constexpr std::size_t kBindSize = 256 * 1024;
// Dates and times leave the reader in one unambiguous form; the importer keeps the date.
constexpr const char* kDateFormat = "%Y-%m-%d %H:%M:%S";

struct HandleCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
using Handle = std::unique_ptr<MdbHandle, HandleCloser>;

struct TableFreer {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using TableDef = std::unique_ptr<MdbTableDef, TableFreer>;

// The whole of a long value (an OLE or memo field) whose 12-byte header the
// fetch left in field, as libmdb reads it chunk by chunk along its page chain,
// except that a chain coming back to a row it has already read is damage:
// libmdb would follow it round and round. False then.
bool readLongValue(MdbHandle* mdb, MdbColumn* col, const char* field, std::string& value)
{
    char header[MDB_MEMO_OVERHEAD];
    std::memcpy(header, field, sizeof header);
    // Each chunk lands in the column's bound buffer.
    const auto* chunk = static_cast<const char*>(col->bind_ptr);
    value.assign(chunk, mdb_ole_read(mdb, col, header, kBindSize));
    if (guint32(mdb_get_int32(header, 0)) & 0xC0000000u)
        return true; // kept in the row itself, or on one page: no chain
    std::set<guint32> seen{guint32(mdb_get_int32(header, 4))};
    while (col->cur_blob_pg_row != 0) {
        if (!seen.insert(col->cur_blob_pg_row).second)
            return false;
        const std::size_t len = mdb_ole_read_next(mdb, col, header);
        if (len == 0)
            break;
        value.append(chunk, len);
    }
    return true;
}

// Whether libmdb can walk a table's property blob without going round in
// place or reading past its end. The blob is "KKD" or "MR2" and a zero byte,
// then chunks of [32-bit length, 16-bit type, body]. A chunk of type 0x80
// lists names of [16-bit length, bytes]; types 0 to 2 are [16-bit length, 2
// bytes, 16-bit name length, name] and then values of [16-bit length, 2 bytes,
// 16-bit name number, 16-bit data length, data]. libmdb steps by these lengths
// unchecked: a zero never moves on, and one running past the end sends it
// reading whatever lies beyond. A blob of another kind libmdb leaves alone.
bool propertiesWalk(const std::string& blob)
{
    const std::size_t n = blob.size();
    if (n < 4 || (blob.compare(0, 4, std::string("KKD\0", 4)) != 0 && blob.compare(0, 4, std::string("MR2\0", 4)) != 0))
        return true;
    auto byte = [&](std::size_t at) { return std::size_t(static_cast<unsigned char>(blob[at])); };
    auto u16 = [&](std::size_t at) { return byte(at) | byte(at + 1) << 8; };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    std::optional<std::size_t> names; // how many the last list held
    for (std::size_t pos = 4; pos < n;) {
        if (n - pos < 6)
            return false;
        const std::size_t len = u32(pos);
        if (len < 6 || len > n - pos)
            return false;
        const std::size_t type = u16(pos + 4);
        const std::size_t body = pos + 6;
        const std::size_t end = pos + len;
        if (type == 0x80) {
            names = 0;
            for (std::size_t p = body; p < end; p += 2 + u16(p), ++*names)
                if (end - p < 2 || u16(p) > end - p - 2)
                    return false;
        } else if (type <= 2 && names) {
            if (end - body < 6 || u16(body + 4) > end - body - 6)
                return false;
            for (std::size_t p = body + 6 + u16(body + 4); p < end; p += u16(p)) {
                if (end - p < 8)
                    return false;
                // A value naming no listed name, or longer than its block, ends
                // libmdb's reading of the block.
                if (u16(p + 4) >= *names || u16(p + 6) > end - p - 8)
                    break;
                if (u16(p) == 0)
                    return false;
            }
        }
        pos = end;
    }
    return true;
}

// Reading the catalogue, libmdb also reads the properties of every table, the
// LvProp blobs of MSysObjects, and takes their lengths on trust: a damaged one
// keeps it busy until the importing side's no-progress limit stops the reader.
// Checks them first, along the same rows libmdb takes; returns the name of
// the table whose properties are damaged.
std::optional<std::string> damagedProperties(MdbHandle* mdb)
{
    MdbCatalogEntry objects{};
    objects.mdb = mdb;
    objects.object_type = MDB_TABLE;
    objects.table_pg = 2;
    std::strcpy(objects.object_name, "MSysObjects");
    TableDef table(mdb_read_table(&objects));
    if (!table || !mdb_read_columns(table.get()))
        return std::nullopt; // the catalogue read that follows refuses it
    std::vector<std::vector<char>> buffers(3, std::vector<char>(kBindSize + 1));
    char nameColumn[] = "Name", typeColumn[] = "Type", propsColumn[] = "LvProp";
    int propsLength = 0;
    const int props = mdb_bind_column_by_name(table.get(), propsColumn, buffers[2].data(), &propsLength);
    if (mdb_bind_column_by_name(table.get(), nameColumn, buffers[0].data(), nullptr) < 1 ||
        mdb_bind_column_by_name(table.get(), typeColumn, buffers[1].data(), nullptr) < 1 || props < 1)
        return std::nullopt;
    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, unsigned(props - 1)));
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
        if (std::atoi(buffers[1].data()) != MDB_TABLE || propsLength == 0)
            continue;
        std::string blob;
        if (!readLongValue(mdb, col, buffers[2].data(), blob) || !propertiesWalk(blob))
            return std::string(buffers[0].data());
    }
    return std::nullopt;
}

// The catalogue entry of the named table, or null. Jet compares table names
// without regard to case, as the old program did.
MdbCatalogEntry* findTable(MdbHandle* mdb, const std::string& name)
{
    for (unsigned i = 0; mdb->catalog && i < mdb->catalog->len; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type == MDB_TABLE &&
            (name == e->object_name || g_ascii_strcasecmp(name.c_str(), e->object_name) == 0))
            return e;
    }
    return nullptr;
}

// A table's columns, each with a buffer bound to it that every fetch fills.
struct BoundColumns {
    std::vector<Column> columns;
    std::vector<std::unique_ptr<char[]>> buffers;
    std::vector<int> lengths; // of the value each buffer holds after a fetch
};

// Reads the table's column definitions into bound.columns; a damaged
// definition is told to out, and false.
bool readColumns(MdbTableDef* table, const std::string& name, BoundColumns& bound, StreamWriter& out)
{
    GPtrArray* cols = mdb_read_columns(table);
    if (!cols || table->num_cols != cols->len || cols->len > MDB_MAX_COLS) {
        out.failure("資料表「" + name + "」的欄位定義無法讀取，檔案可能已損壞");
        return false;
    }
    const unsigned n = cols->len;
    std::vector<Column>& columns = bound.columns;
    columns.resize(n);
    for (unsigned i = 0; i < n; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(cols, i));
        columns[i].name.assign(col->name, strnlen(col->name, sizeof col->name));
        columns[i].type = col->col_type;
        columns[i].size = col->col_size;
        // A type Jet never writes is a damaged table definition; libmdb would read
        // on and leak a warning per value.
        if (jetTypeName(col->col_type) == "Unknown" && col->col_type != MDB_COMPLEX) {
            out.failure("資料表「" + name + "」的欄位「" + columns[i].name + "」型態不明（" +
                        std::to_string(col->col_type) + "），檔案可能已損壞");
            return false;
        }
    }
    return true;
}

// Binds a buffer to each of the columns read.
bool bindColumns(MdbTableDef* table, const std::string& name, BoundColumns& bound, StreamWriter& out)
{
    const std::size_t n = bound.columns.size();
    bound.buffers.resize(n);
    bound.lengths.assign(n, 0);
    for (unsigned i = 0; i < n; ++i) {
        bound.buffers[i] = std::make_unique<char[]>(kBindSize + 1);
        if (mdb_bind_column(table, int(i) + 1, bound.buffers[i].get(), &bound.lengths[i]) < 0) {
            out.failure("資料表「" + name + "」的欄位無法讀取");
            return false;
        }
    }
    return true;
}

// Sends the table's heading, every row and its end; a row count other than
// the definition's is told to out, and false.
bool sendRows(MdbTableDef* table, const std::string& name, const BoundColumns& bound, StreamWriter& out)
{
    const std::size_t n = bound.columns.size();
    out.beginTable(name, bound.columns, table->num_rows);
    mdb_rewind_table(table);
    std::uint64_t sent = 0;
    Row row(n);
    while (mdb_fetch_row(table)) {
        for (unsigned i = 0; i < n; ++i) {
            const int len = bound.lengths[i];
            // OLE objects live outside the row and the shop keeps none; libmdb's
            // OLE reading is also the least trustworthy part of it.
            if (len <= 0 || bound.columns[i].type == JetOle) {
                row[i].reset();
            } else {
                row[i].emplace(bound.buffers[i].get(), std::min<std::size_t>(std::size_t(len), kBindSize));
            }
        }
        // More rows than the definition counts means a damaged page chain; stop
        // before libmdb walks it any further.
        if (sent == table->num_rows) {
            out.failure("資料表「" + name + "」的資料超過定義的 " + std::to_string(table->num_rows) +
                        " 列，檔案可能已損壞");
            return false;
        }
        out.row(row);
        ++sent;
        if (!out.ok())
            return false;
    }
    // The table definition keeps its row count; fewer rows read means pages that
    // could not be followed, and a silent partial import is worse than none.
    if (sent != table->num_rows) {
        out.failure("資料表「" + name + "」應有 " + std::to_string(table->num_rows) + " 列，只讀到 " +
                    std::to_string(sent) + " 列，檔案可能已損壞");
        return false;
    }
    out.endTable(sent);
    return out.ok();
}

bool sendTable(MdbHandle* mdb, const std::string& name, StreamWriter& out)
{
    MdbCatalogEntry* entry = findTable(mdb, name);
    if (!entry) {
        out.missingTable(name);
        return true;
    }
    TableDef table(mdb_read_table(entry));
    if (!table) {
        out.failure("資料表「" + name + "」的定義無法讀取，檔案可能已損壞");
        return false;
    }
    BoundColumns bound;
    return readColumns(table.get(), name, bound, out) && bindColumns(table.get(), name, bound, out) &&
           sendRows(table.get(), name, bound, out);
}

bool readHandle(MdbHandle* mdb, std::uint64_t fileSize, const std::vector<std::string>& names, StreamWriter& out)
{
    // Jet files grow a whole page at a time; anything else was cut short.
    const auto pageSize = std::uint64_t(mdb->fmt->pg_size);
    if (pageSize == 0 || fileSize % pageSize != 0) {
        out.failure("檔案大小不是整數頁，檔案可能被截斷或已損壞");
        return false;
    }
    mdb_set_bind_size(mdb, kBindSize);
    mdb_set_date_fmt(mdb, kDateFormat);
    mdb_set_shortdate_fmt(mdb, kDateFormat);
    mdb_set_boolean_fmt_numbers(mdb);

    if (const auto damaged = damagedProperties(mdb)) {
        out.failure("資料表目錄中「" + *damaged + "」的屬性資料長度不對或頁面相連成環，檔案可能已損壞");
        return false;
    }
    GPtrArray* catalog = mdb_read_catalog(mdb, MDB_TABLE);
    if (!catalog) {
        out.failure("無法讀取資料表目錄，檔案可能已損壞");
        return false;
    }
    out.header(int(mdb->f->jet_version), int(mdb->f->code_page));

    std::vector<std::string> wanted = names;
    if (wanted.empty()) {
        for (unsigned i = 0; i < catalog->len; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
            if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
                wanted.emplace_back(entry->object_name, strnlen(entry->object_name, sizeof entry->object_name));
        }
    }
    for (const auto& name : wanted)
        if (!sendTable(mdb, name, out))
            return false;
    out.finish();
    return out.ok();
}

} // namespace

bool readJetFile(const std::string& path, const std::vector<std::string>& names, StreamWriter& out)
{
    Handle mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb) {
        out.failure("不是 Jet 資料庫檔（.mdb），或檔案已損壞");
        return false;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        out.failure("無法讀取檔案大小");
        return false;
    }
    return readHandle(mdb.get(), std::uint64_t(st.st_size), names, out);
}

bool readJetBuffer(const void* data, std::size_t size, const std::vector<std::string>& names, StreamWriter& out)
{
    // libmdb takes a writable pointer; give it its own copy.
    std::vector<char> copy(static_cast<const char*>(data), static_cast<const char*>(data) + size);
    Handle mdb(mdb_open_buffer(copy.data(), copy.size(), MDB_NOFLAGS));
    if (!mdb) {
        out.failure("不是 Jet 資料庫檔（.mdb），或檔案已損壞");
        return false;
    }
    return readHandle(mdb.get(), size, names, out);
}

} // namespace lumaro::legacy
