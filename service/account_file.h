// The accounts' file, $GC6890_HOME/users.json: each account's name, role, the SHA-256 of
// its token (never the token), when it was made and when it was last used. Read by the
// service and by `gc6890 user`; every change reads, changes and writes the whole file under
// the file's lock (users.json.lock) and renames it into place at mode 0600, so that two
// writers lose nothing and a kill leaves the old file or the new one.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "service/roles.h"

namespace gc6890 {

struct Account {
    std::string name;
    Role role = Role::Viewer;
    std::string tokenSha256;  // 64 lower-case hex digits
    std::string made;         // "2026-12-07T18:00:00.000Z"
    std::string lastUsed;     // "" when never
};

// $GC6890_HOME/users.json
std::string accountsPath();

// The name the service token answers to (service_token.h): an admin that needs no entry
// in the file, so that a home from before accounts keeps working.
inline constexpr std::string_view kServiceTokenAccount = "service";

// 1 to 64 letters, digits, '.', '_' or '-', beginning with a letter or digit; "" when
// `name` is one, else why not.
std::string accountNameProblem(const std::string& name);

// The accounts in `path`; none when there is no file. Throws std::runtime_error naming the
// file when it cannot be read or is not an accounts file.
std::vector<Account> readAccounts(const std::string& path);

// Under the file's lock: reads the accounts, lets `change` change them, and writes them
// whole (mode 0600, renamed into place) unless `change` returns false. Throws
// std::runtime_error naming the file when it cannot be read or written.
void changeAccounts(const std::string& path,
                    const std::function<bool(std::vector<Account>&)>& change);

}  // namespace gc6890
