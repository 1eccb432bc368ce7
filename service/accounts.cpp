#include "service/accounts.h"
#include "audit/sha256.h"

#include <sys/stat.h>

#include <stdexcept>

#include "service/service_token.h"
#include "service/snapshot.h"

namespace gc6890 {

std::string Admission::refusal() const
{
    switch (verdict) {
    case Verdict::Admitted:
        return {};
    case Verdict::NoToken:
        return "no token";
    case Verdict::WrongToken:
        return "a token of no account";
    case Verdict::Forbidden:
        break;
    }
    return permissionRefusal(action, caller ? caller->name : "the caller",
                             caller ? caller->role : Role::Viewer);
}

Accounts::Accounts(std::string path) : path_(std::move(path)) {}

void Accounts::start(std::string serviceToken, Log log)
{
    std::lock_guard lock(mutex_);
    serviceToken_ = std::move(serviceToken);
    log_ = std::move(log);
    read_ = fileState();
    accounts_ = readAccounts(path_);
    checked_ = std::chrono::steady_clock::now();
}

Accounts::FileState Accounts::fileState() const
{
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0)
        return {};
    return {true, info.st_ino, info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
            info.st_size};
}

bool Accounts::refresh(std::chrono::steady_clock::time_point now, bool force)
{
    if (!force && now - checked_ < kRecheck)
        return false;
    checked_ = now;
    const FileState state = fileState();
    if (state == read_)
        return true;
    read_ = state;
    try {
        accounts_ = readAccounts(path_);
        toldUnreadable_ = false;
    } catch (const std::exception& error) {
        // Refusing every account is the safe side: a removed one must not stay usable.
        accounts_.clear();
        if (!toldUnreadable_ && log_)
            log_(std::string(error.what()) +
                 "; every account is refused until it is mended (the service token still works)");
        toldUnreadable_ = true;
    }
    return true;
}

std::optional<Caller> Accounts::find(const std::string& token) const
{
    if (sameToken(token, serviceToken_))
        return Caller{std::string(kServiceTokenAccount), Role::Admin};
    const std::string hash = sha256Hex(token);
    std::optional<Caller> caller;
    for (const Account& account : accounts_)
        if (sameToken(hash, account.tokenSha256))
            caller = Caller{account.name, account.role};
    return caller;
}

std::optional<Caller> Accounts::identify(const std::string& token)
{
    if (token.empty())
        return std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    std::optional<Caller> caller;
    {
        std::lock_guard lock(mutex_);
        const bool looked = refresh(now, false);
        caller = find(token);
        // An unknown token may be a new account's: the file is looked at once more (a
        // stat, cheap enough for every stranger's request).
        if (!caller && !looked && refresh(now, true))
            caller = find(token);
        if (caller && caller->name == kServiceTokenAccount)
            return caller;
        if (caller)
            unwrittenUses_[caller->name] = isoTime(unixNowMs());
    }
    if (caller)
        writeLastUses(now);
    return caller;
}

void Accounts::writeLastUses(std::chrono::steady_clock::time_point now)
{
    // One writer at a time; another request meanwhile leaves its use for the next write.
    std::unique_lock writing(writeMutex_, std::try_to_lock);
    if (!writing || (everWritten_ && now - written_ < kLastUseInterval))
        return;
    std::map<std::string, std::string> uses;
    {
        std::lock_guard lock(mutex_);
        uses.swap(unwrittenUses_);
    }
    if (uses.empty())
        return;
    written_ = now;
    everWritten_ = true;
    try {
        changeAccounts(path_, [&](std::vector<Account>& accounts) {
            bool changed = false;
            for (Account& account : accounts)
                if (const auto use = uses.find(account.name); use != uses.end()) {
                    account.lastUsed = use->second;
                    changed = true;
                }
            return changed;
        });
    } catch (const std::exception& error) {
        if (log_)
            log_(std::string("cannot note when accounts were last used: ") + error.what());
    }
}

Admission Accounts::admit(const std::string& token, Action action, bool readsOpen)
{
    Admission admission;
    admission.action = action;
    if (token.empty()) {
        admission.verdict = readsOpen && action == Action::Read ? Admission::Verdict::Admitted
                                                                : Admission::Verdict::NoToken;
        return admission;
    }
    admission.caller = identify(token);
    if (!admission.caller)
        admission.verdict = Admission::Verdict::WrongToken;
    else
        admission.verdict = allows(admission.caller->role, action) ? Admission::Verdict::Admitted
                                                                   : Admission::Verdict::Forbidden;
    return admission;
}

}  // namespace gc6890
