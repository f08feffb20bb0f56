#pragma once
// A stand-in of the download station's database in SQLite, to load the SQL files of the folder export.
//
// The files are written for the station's own server, whose string literals take backslash escapes
// (\0 \' \" \b \n \r \t \Z \\; any other escaped character stands for itself) besides a doubled quote.
// Load reads every literal by those rules into a hex literal SQLite takes as text, and hands the rest of
// the statement text to SQLite unchanged: a literal that ends early leaves text SQLite refuses or runs.
#include <sqlite3.h>

#include <string>
#include <vector>

class StationDatabase
{
public:
    StationDatabase()
    {
        sqlite3_open(":memory:", &db_);
        sqlite3_create_function(db_, "NOW", 0, SQLITE_UTF8, nullptr, Now, nullptr, nullptr);
        Exec("CREATE TABLE Asset (AssetID INTEGER PRIMARY KEY, KUID TEXT, AssetTypeID, ProductID, Title, "
             "Description, DownloadPath, FileSize, Version, AssetStatusID, AssetDownloadID, LastUpdated, "
             "ProductVersion);"
             "CREATE TABLE AssetChild (AssetID, ChildID);"
             "CREATE TABLE AssetKUIDDependency (AssetID, KUID);"
             "CREATE TABLE Asset_AssetCategory_Rels (AssetID, AssetCategoryID);"
             "CREATE TABLE Asset_CategoryElement_Rels (AssetID, CategoryElementID);");
    }
    ~StationDatabase() { sqlite3_close(db_); }
    StationDatabase(const StationDatabase&) = delete;
    StationDatabase& operator=(const StationDatabase&) = delete;

    // The row an upload has before it is processed.
    void AddPending(const std::string& kuid)
    {
        Exec("INSERT INTO Asset (KUID, AssetStatusID, AssetDownloadID) VALUES ('" + kuid + "', 'FAK', 'T10');");
    }

    // Runs statements written for the station's server; the error text, or empty on success.
    std::string Load(const std::string& text)
    {
        std::string sql, error;
        if (!Translate(text, sql, error)) return error;
        return Exec(sql);
    }

    // The rows of a query, every value as its bytes ("NULL" for a null).
    std::vector<std::vector<std::string>> Rows(const std::string& query)
    {
        std::vector<std::vector<std::string>> rows;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, query.c_str(), -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW)
        {
            rows.emplace_back();
            for (int i = 0; i < sqlite3_column_count(st); ++i)
            {
                const bool null = sqlite3_column_type(st, i) == SQLITE_NULL;  // before any conversion
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(st, i));
                rows.back().push_back(null ? "NULL" : std::string(bytes ? bytes : "", sqlite3_column_bytes(st, i)));
            }
        }
        sqlite3_finalize(st);
        return rows;
    }

    std::string Exec(const std::string& sql)
    {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return {};
        std::string error = message ? message : "error";
        sqlite3_free(message);
        return error;
    }

private:
    static void Now(sqlite3_context* c, int, sqlite3_value**)
    {
        sqlite3_result_text(c, "2024-01-01 00:00:00", -1, SQLITE_STATIC);
    }

    static bool Translate(const std::string& in, std::string& out, std::string& error)
    {
        static const char* hex = "0123456789ABCDEF";
        for (size_t i = 0; i < in.size(); ++i)
        {
            if (in[i] != '\'')
            {
                out += in[i];
                continue;
            }
            std::string value;
            bool closed = false;
            while (++i < in.size())
            {
                char c = in[i];
                if (c == '\\' && i + 1 < in.size())
                {
                    const char e = in[++i];
                    switch (e)
                    {
                    case '0': c = '\0'; break;
                    case 'b': c = '\b'; break;
                    case 'n': c = '\n'; break;
                    case 'r': c = '\r'; break;
                    case 't': c = '\t'; break;
                    case 'Z': c = '\x1A'; break;
                    default: c = e;
                    }
                }
                else if (c == '\'')
                {
                    if (i + 1 >= in.size() || in[i + 1] != '\'')
                    {
                        closed = true;
                        break;
                    }
                    ++i;
                }
                value += c;
            }
            if (!closed)
            {
                error = "unterminated string literal";
                return false;
            }
            out += "CAST(X'";
            for (unsigned char c : value)
            {
                out += hex[c >> 4];
                out += hex[c & 15];
            }
            out += "' AS TEXT)";
        }
        return true;
    }

    sqlite3* db_ = nullptr;
};
