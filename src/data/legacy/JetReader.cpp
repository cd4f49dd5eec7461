#include "JetReader.h"

#include <mdbtools.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>

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

bool sendTable(MdbHandle* mdb, const std::string& name, StreamWriter& out)
{
    // Jet compares table names without regard to case, as the old program did.
    MdbCatalogEntry* entry = nullptr;
    for (unsigned i = 0; mdb->catalog && i < mdb->catalog->len && !entry; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type == MDB_TABLE &&
            (name == e->object_name || g_ascii_strcasecmp(name.c_str(), e->object_name) == 0))
            entry = e;
    }
    if (!entry) {
        out.missingTable(name);
        return true;
    }
    TableDef table(mdb_read_table(entry));
    if (!table) {
        out.failure("資料表「" + name + "」的定義無法讀取，檔案可能已損壞");
        return false;
    }
    GPtrArray* cols = mdb_read_columns(table.get());
    if (!cols || table->num_cols != cols->len || cols->len > MDB_MAX_COLS) {
        out.failure("資料表「" + name + "」的欄位定義無法讀取，檔案可能已損壞");
        return false;
    }
    const unsigned n = cols->len;
    std::vector<Column> columns(n);
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

    std::vector<std::unique_ptr<char[]>> buffers(n);
    std::vector<int> lengths(n, 0);
    for (unsigned i = 0; i < n; ++i) {
        buffers[i] = std::make_unique<char[]>(kBindSize + 1);
        if (mdb_bind_column(table.get(), int(i) + 1, buffers[i].get(), &lengths[i]) < 0) {
            out.failure("資料表「" + name + "」的欄位無法讀取");
            return false;
        }
    }

    out.beginTable(name, columns, table->num_rows);
    mdb_rewind_table(table.get());
    std::uint64_t sent = 0;
    Row row(n);
    while (mdb_fetch_row(table.get())) {
        for (unsigned i = 0; i < n; ++i) {
            const int len = lengths[i];
            // OLE objects live outside the row and the shop keeps none; libmdb's
            // OLE reading is also the least trustworthy part of it.
            if (len <= 0 || columns[i].type == JetOle) {
                row[i].reset();
            } else {
                row[i].emplace(buffers[i].get(), std::min<std::size_t>(std::size_t(len), kBindSize));
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
