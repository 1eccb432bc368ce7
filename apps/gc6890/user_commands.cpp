// gc6890 user add|list|remove|rotate: the accounts of the service in this home
// (users.json, docs/security.md). Only the command line manages them; a running service
// takes the change within a second.
#include <algorithm>
#include <functional>
#include <iomanip>
#include <iostream>
#include <memory>

#include "audit/sha256.h"
#include "cli_error.h"
#include "command_table.h"
#include "line_audit.h"
#include "service/account_file.h"
#include "service/random_bytes.h"
#include "service/snapshot.h"

namespace gc6890::cli {

namespace {

struct UserOptions {
    std::string name;
    std::string role;
};

void checkName(const std::string& name)
{
    if (const std::string problem = accountNameProblem(name); !problem.empty())
        throw CommandFailure(kExitBadInput, problem + ", not \"" + name + "\"");
    if (name == kServiceTokenAccount)
        throw CommandFailure(kExitBadInput,
                             "\"" + name +
                                 "\" is the service token's own account (gc6890 serve "
                                 "--show-token); choose another name");
}

// Every change of the file, failures as the command's. Who may do what is a change an
// auditor asks about: each is a line of the audit trail (door "accounts", the login as its
// user), and a trail that cannot be written holds the change back.
void change(const std::string& action, const nlohmann::json& params,
            const std::function<bool(std::vector<Account>&)>& body)
{
    LineAudit audit(action, params, "accounts", accountsPath());
    try {
        audit.around([&] { changeAccounts(accountsPath(), body); });
        audit.done();
    } catch (const CommandFailure&) {
        throw;
    } catch (const std::runtime_error& error) {
        throw CommandFailure(kExitFailed, error.what());
    }
}

std::vector<Account>::iterator named(std::vector<Account>& accounts, const std::string& name)
{
    const auto found = std::find_if(accounts.begin(), accounts.end(),
                                    [&](const Account& account) { return account.name == name; });
    if (found == accounts.end())
        throw CommandFailure(kExitFailed, "no account " + name + " (gc6890 user list)");
    return found;
}

// The token goes out once, as the last word, and is kept nowhere but in its hash.
void tellToken(const std::string& what, const std::string& token)
{
    std::cout << what << "; its token, shown this once (keep it where only its user reads it):\n"
              << token << '\n';
}

int add(const UserOptions& options)
{
    checkName(options.name);
    const std::optional<Role> role = roleNamed(options.role);
    if (!role)
        throw CommandFailure(kExitBadInput,
                             "--role is viewer, operator or admin, not \"" + options.role + "\"");
    const std::string token = randomSecret("cannot make a token");
    change(
        "user-add", {{"account", options.name}, {"role", roleName(*role)}},
        [&](std::vector<Account>& accounts) {
            for (const Account& account : accounts)
                if (account.name == options.name)
                    throw CommandFailure(kExitFailed, "there is an account " + options.name +
                                                          " already (gc6890 user rotate gives it a "
                                                          "new token)");
            accounts.push_back({options.name, *role, sha256Hex(token), isoTime(unixNowMs()), {}});
            return true;
        });
    tellToken("made the account " + options.name + " (" + roleName(*role) + ")", token);
    return kExitOk;
}

int list()
{
    std::vector<Account> accounts;
    try {
        accounts = readAccounts(accountsPath());
    } catch (const std::runtime_error& error) {
        throw CommandFailure(kExitFailed, error.what());
    }
    std::cout << std::left << std::setw(20) << "NAME" << std::setw(10) << "ROLE" << std::setw(26)
              << "MADE"
              << "LAST USED\n";
    std::cout << std::setw(20) << kServiceTokenAccount << std::setw(10) << "admin" << std::setw(26)
              << "-"
              << "(the service token)\n";
    for (const Account& account : accounts)
        std::cout << std::setw(20) << account.name << std::setw(10) << roleName(account.role)
                  << std::setw(26) << account.made
                  << (account.lastUsed.empty() ? "never" : account.lastUsed) << '\n';
    return kExitOk;
}

int remove(const UserOptions& options)
{
    checkName(options.name);
    change("user-remove", {{"account", options.name}}, [&](std::vector<Account>& accounts) {
        accounts.erase(named(accounts, options.name));
        return true;
    });
    std::cout << "removed the account " << options.name << "; its token is refused from now on\n";
    return kExitOk;
}

int rotate(const UserOptions& options)
{
    checkName(options.name);
    const std::string token = randomSecret("cannot make a token");
    change("user-rotate", {{"account", options.name}}, [&](std::vector<Account>& accounts) {
        named(accounts, options.name)->tokenSha256 = sha256Hex(token);
        return true;
    });
    tellToken("gave the account " + options.name + " a new token (the old one is refused)", token);
    return kExitOk;
}

}  // namespace

void addUserCommands(CommandTable& table)
{
    CLI::App* user = table.group(
        "user", "Manage the service's accounts: each user or program its own token and role");
    auto options = std::make_shared<UserOptions>();

    CLI::App* addCommand =
        user->add_subcommand("add", "Make an account; its token is printed once, as the last word");
    addCommand->add_option("NAME", options->name, "The account's name")->required();
    addCommand
        ->add_option("--role", options->role,
                     "viewer (reads), operator (also runs the instrument) or admin (also "
                     "deletes methods and breaks locks)")
        ->required();
    table.add(addCommand, [options] { return add(*options); });

    CLI::App* listCommand = user->add_subcommand("list", "List the accounts: name, role, made, "
                                                         "last used");
    table.add(listCommand, [] { return list(); });

    CLI::App* removeCommand = user->add_subcommand("remove", "Remove an account");
    removeCommand->add_option("NAME", options->name, "The account's name")->required();
    table.add(removeCommand, [options] { return remove(*options); });

    CLI::App* rotateCommand =
        user->add_subcommand("rotate", "Give an account a new token, printed once");
    rotateCommand->add_option("NAME", options->name, "The account's name")->required();
    table.add(rotateCommand, [options] { return rotate(*options); });
}

}  // namespace gc6890::cli
