#include "host/commands/users_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "host/commands/command_support.h"
#include "host/users/user_store.h"
#include "user_groups.h"

namespace quillmere::host {
namespace {

struct UsersOptions {
  std::filesystem::path prefix;
  std::string name;
  std::string groups;
  bool passwordStdin = false;
  bool json = false;
};

// The store's own refusals ("exists", "unknown user"...) are the reason a person sees.
template <class Body>
void Change(const UsersOptions& options, Body change) {
  UsePrefix(options.prefix);
  try {
    UserStore store(DefaultUserDatabase());
    change(store);
  } catch (const UserError& error) {
    throw CommandFailure(error.what());
  } catch (const UserStoreError& error) {
    throw CommandFailure(error.what());
  }
}

std::string NewPassword(const UsersOptions& options, std::istream& in) {
  if (options.passwordStdin) {
    std::string password;
    std::getline(in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty()) throw CommandFailure("no password on standard input");
    return password;
  }
  const std::string prompt = "Password for " + options.name + ": ";
  const std::string password = ReadSecret(prompt, in, std::cerr);
  // A typing mistake nobody saw would lock the user out: a person types it twice.
  if (&in == &std::cin && ::isatty(STDIN_FILENO) != 0 &&
      ReadSecret("Again: ", in, std::cerr) != password)
    throw CommandFailure("the passwords differ");
  return password;
}

void PrintUsers(const UsersOptions& options, std::ostream& out) {
  Change(options, [&](UserStore& store) {
    Table table{{"name", "groups", "bits"}, {}};
    for (const UserEntry& user : store.List()) {
      char bits[8];
      std::snprintf(bits, sizeof bits, "0x%02X", static_cast<unsigned>(user.groups));
      table.rows.push_back({user.name, GroupNames(user.groups), bits});
    }
    PrintTable(table, options.json, out);
  });
}

}  // namespace

void AddUsersCommand(CLI::App& app, std::istream& in, std::ostream& out) {
  auto options = std::make_shared<UsersOptions>();
  CLI::App* users = app.add_subcommand("users", "List and change the host's users");
  users->require_subcommand(1);
  AddPrefixOption(*users, options->prefix);
  const std::string groupsHelp =
      "Names separated by commas (" + KnownGroupNames() + ") or the permission bits as a number";
  const auto command = [&](const char* name, const char* help) {
    CLI::App* sub = users->add_subcommand(name, help);
    AddPrefixOption(*sub, options->prefix);
    return sub;
  };
  const auto named = [&](const char* name, const char* help) {
    CLI::App* sub = command(name, help);
    sub->add_option("name", options->name, "User name")->required();
    return sub;
  };
  const auto passwordStdin = [&](CLI::App* sub) {
    sub->add_flag("--password-stdin", options->passwordStdin,
                  "Read the password from standard input without asking");
  };

  CLI::App* list = command("list", "Names and groups");
  AddJsonOption(*list, options->json);
  list->callback([options, &out] { PrintUsers(*options, out); });

  CLI::App* add = named("add", "Add a user, asking for the password");
  add->add_option("--groups", options->groups, groupsHelp);
  passwordStdin(add);
  add->callback([options, &in, &out] {
    const ULONG groups = ParseGroups(options->groups);
    Change(*options, [&](UserStore& store) {
      // Refused before a person types a password for nothing.
      if (store.Groups(options->name)) throw CommandFailure("user " + options->name + " exists");
      store.Add(options->name, NewPassword(*options, in), groups);
    });
    out << "Added " << options->name << " (" << GroupNames(groups) << ").\n";
  });

  CLI::App* passwd = named("passwd", "Set a user's password, asking for it");
  passwordStdin(passwd);
  passwd->callback([options, &in, &out] {
    Change(*options, [&](UserStore& store) {
      if (!store.Groups(options->name)) throw CommandFailure("no user named " + options->name);
      store.SetPassword(options->name, NewPassword(*options, in));
    });
    out << "Changed the password of " << options->name << ".\n";
  });

  CLI::App* groups = named("groups", "Replace a user's groups");
  groups->add_option("groups", options->groups, groupsHelp)->required();
  groups->callback([options, &out] {
    const ULONG bits = ParseGroups(options->groups);
    Change(*options, [&](UserStore& store) { store.SetGroups(options->name, bits); });
    out << options->name << " is now in " << GroupNames(bits) << ".\n";
  });

  named("remove", "Remove a user")->callback([options, &out] {
    Change(*options, [&](UserStore& store) { store.Remove(options->name); });
    out << "Removed " << options->name << ".\n";
  });
}

}  // namespace quillmere::host
