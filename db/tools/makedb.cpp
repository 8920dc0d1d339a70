// Build tool: makes the delivered database file from the schema file.
//   makedb SCHEMA.sql OUTPUT.mdb
#include <cstdio>
#include <fstream>
#include <sqlite3.h>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: makedb SCHEMA.sql OUTPUT.mdb\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "makedb: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream schema;
    schema << in.rdbuf();

    const std::string output = argv[2];
    const std::string temp = output + ".tmp";
    std::remove(temp.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(temp.c_str(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "makedb: cannot create %s: %s\n", temp.c_str(), sqlite3_errmsg(db));
        return 1;
    }
    char* error = nullptr;
    const std::string script = "BEGIN;\n" + schema.str() + "\nCOMMIT;";
    if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "makedb: %s\n", error ? error : "unknown error");
        sqlite3_free(error);
        sqlite3_close(db);
        std::remove(temp.c_str());
        return 1;
    }
    sqlite3_close(db);
    if (std::rename(temp.c_str(), output.c_str()) != 0) {
        std::perror("makedb: rename");
        return 1;
    }
    return 0;
}
