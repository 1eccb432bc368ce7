// Who is calling, for every door of the running service: the accounts of users.json
// (account_file.h) and the service token, and the one admission check each door makes
// before it acts (roles.h). The file is looked at again at most every 250 ms while tokens
// are being checked, so a removed or rotated token stops working within a second of
// `gc6890 user`, and at once when a token is unknown, so a new account works at once;
// "last used" goes back to the file at most once a minute.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "service/account_file.h"
#include "service/roles.h"

namespace gc6890 {

struct Caller {
    std::string name;
    Role role = Role::Viewer;
};

struct Admission {
    enum class Verdict { Admitted, NoToken, WrongToken, Forbidden };
    Verdict verdict = Verdict::NoToken;
    std::optional<Caller> caller;  // whom the token names: Admitted with a token, Forbidden
    Action action = Action::Read;

    bool admitted() const { return verdict == Verdict::Admitted; }
    // Why not, in a door's words: "no token", "a token of no account", or the role refusal
    // ("starting a run needs the operator role; kim is a viewer").
    std::string refusal() const;
};

class Accounts {
public:
    static constexpr std::chrono::milliseconds kRecheck{250};
    static constexpr std::chrono::seconds kLastUseInterval{60};

    using Log = std::function<void(const std::string&)>;

    explicit Accounts(std::string path = accountsPath());

    // The service token answers as the admin "service"; the accounts are read now (a file
    // that cannot be read throws, naming it). `log` says on the service's log when the file
    // later turns unreadable (every account is refused then, until it is mended).
    void start(std::string serviceToken, Log log);

    // Whom `token` names; nothing for "" or a token of no account. A use of the account.
    std::optional<Caller> identify(const std::string& token);

    // Whether a request for `action` with `token` ("" when it came without one) may go
    // ahead. `readsOpen`: the door takes reads without a token (it listens on loopback
    // only, or was started with --open-reads).
    Admission admit(const std::string& token, Action action, bool readsOpen);

private:
    struct FileState {
        bool exists = false;
        ino_t inode = 0;
        std::int64_t modifiedNs = 0;
        off_t size = 0;
        bool operator==(const FileState&) const = default;
    };
    FileState fileState() const;
    // With mutex_ held: reads the file again when it changed since it was read, looking at
    // it at most every kRecheck unless `now` forces it. Whether it looked.
    bool refresh(std::chrono::steady_clock::time_point now, bool force);
    // With mutex_ held: the account whose token it is.
    std::optional<Caller> find(const std::string& token) const;
    // Writes the uses noted since the last write, when a minute has passed (not under mutex_).
    void writeLastUses(std::chrono::steady_clock::time_point now);

    const std::string path_;
    Log log_;
    std::mutex mutex_;
    std::string serviceToken_;
    std::vector<Account> accounts_;
    FileState read_;
    std::chrono::steady_clock::time_point checked_{};
    bool toldUnreadable_ = false;
    std::map<std::string, std::string> unwrittenUses_;  // name -> when (ISO time)
    std::mutex writeMutex_;
    std::chrono::steady_clock::time_point written_{};
    bool everWritten_ = false;
};

}  // namespace gc6890
