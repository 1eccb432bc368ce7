#include "service/account_file.h"

#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <sstream>
#include <stdexcept>

#include "platform/platform.h"
#include "sequence/durable_file.h"
#include "service/random_bytes.h"
#include "station/safe_text.h"

namespace gc6890 {

namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& path, const std::string& why)
{
    throw std::runtime_error("the accounts file " + path + " " + why);
}

std::vector<Account> parse(const std::string& path, const std::string& text)
{
    const json document = json::parse(text, nullptr, false);
    if (!document.is_object() || !document.contains("users") || !document["users"].is_array())
        fail(path, "is not an accounts file (a JSON object with \"users\")");
    std::vector<Account> accounts;
    for (const json& entry : document["users"]) {
        Account account;
        account.name = textField(entry, "name");
        const std::optional<Role> role = roleNamed(textField(entry, "role"));
        account.tokenSha256 = textField(entry, "token_sha256");
        account.made = textField(entry, "made");
        account.lastUsed = textField(entry, "last_used");
        if (!accountNameProblem(account.name).empty() || !role || account.tokenSha256.size() != 64)
            fail(path, "holds an entry without a usable name, role or token_sha256");
        account.role = *role;
        accounts.push_back(std::move(account));
    }
    return accounts;
}

std::string serialize(const std::vector<Account>& accounts)
{
    json users = json::array();
    for (const Account& account : accounts) {
        users.push_back(
            {{"name", account.name},
             {"role", roleName(account.role)},
             {"token_sha256", account.tokenSha256},
             {"made", account.made},
             {"last_used", account.lastUsed.empty() ? json(nullptr) : json(account.lastUsed)}});
    }
    return json({{"users", users}}).dump(2) + "\n";
}

// Holds the accounts' lock file's flock for its life.
class FileLock {
public:
    explicit FileLock(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0)
            throw std::runtime_error("cannot open the accounts' lock " + path + ": " +
                                     std::strerror(errno));
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() { ::close(fd_); }  // closing frees the flock
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

// Whole, at mode 0600 from its first byte, renamed into place.
void writeWhole(const std::string& path, const std::string& text)
{
    // One left by a writer that was killed would keep its mode (the lock is held).
    ::unlink((path + ".tmp").c_str());
    std::string error;
    if (!writeFileDurably(path, text, error, 0600))
        throw std::runtime_error("the accounts file cannot be written: " + error);
    const std::size_t slash = path.rfind('/');
    syncFolder(slash == std::string::npos ? "." : path.substr(0, slash));
}

}  // namespace

std::string accountsPath()
{
    return homeDirectory() + "/users.json";
}

std::string accountNameProblem(const std::string& name)
{
    if (name.empty() || name.size() > 64)
        return "an account's name has 1 to 64 characters";
    if (!std::isalnum(static_cast<unsigned char>(name[0])))
        return "an account's name begins with a letter or a digit";
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
            return "an account's name holds only letters, digits, '.', '_' and '-'";
    return {};
}

std::vector<Account> readAccounts(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT)
        return {};
    std::ifstream file(path, std::ios::binary);
    if (!file)
        fail(path, std::string("cannot be read: ") + std::strerror(errno));
    std::ostringstream text;
    text << file.rdbuf();
    return parse(path, text.str());
}

void changeAccounts(const std::string& path,
                    const std::function<bool(std::vector<Account>&)>& change)
{
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos)
        makeDirectories(path.substr(0, slash));
    FileLock lock(path + ".lock");
    std::vector<Account> accounts = readAccounts(path);
    if (change(accounts))
        writeWhole(path, serialize(accounts));
}

}  // namespace gc6890
