#include "host/users_command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "host/user_store.h"

namespace quillmere::host {
namespace {

struct UsersOptions {
  std::filesystem::path prefix;
  std::string name;
  ULONG groups = 0;
};

std::string ReadPassword(std::istream& in) {
  std::string password;
  std::getline(in, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (password.empty()) throw CLI::ValidationError("password", "none given on standard input");
  return password;
}

UserStore OpenStore(const UsersOptions& options) {
  if (!options.prefix.empty()) ::setenv("QUILLMERE_PREFIX", options.prefix.c_str(), 1);
  return UserStore(DefaultUserDatabase());
}

std::string GroupsText(ULONG groups) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(groups));
  return text;
}

}  // namespace

void AddUsersCommand(CLI::App& app, std::istream& in, std::ostream& out) {
  auto options = std::make_shared<UsersOptions>();
  CLI::App* users = app.add_subcommand("users", "List and change the host's users");
  users->require_subcommand(1);
  users->add_option("--prefix", options->prefix, "The machine's folder");
  const auto named = [&](const char* command, const char* description) {
    CLI::App* sub = users->add_subcommand(command, description);
    sub->add_option("name", options->name, "User name")->required();
    return sub;
  };
  const auto groups = [&](CLI::App* sub, bool required) {
    auto* option = sub->add_option("groups", options->groups,
                                   "Permission bits: 1 admin, 2 batch, 4 upload data, 8 download "
                                   "files, 16 upload scripts, 32 portal interactive, 64 portal")
                       ->check(CLI::Range(0, 0x7F));
    if (required) option->required();
  };

  users->add_subcommand("list", "Names and permission bits")->callback([options, &out] {
    const UserStore store = OpenStore(*options);
    for (const UserEntry& user : store.List())
      out << user.name << " " << GroupsText(user.groups) << "\n";
  });
  CLI::App* add = named("add", "Add a user; the password is read from standard input");
  groups(add, false);
  add->callback([options, &in] {
    OpenStore(*options).Add(options->name, ReadPassword(in), options->groups);
  });
  named("passwd", "Set a user's password, read from standard input")->callback([options, &in] {
    OpenStore(*options).SetPassword(options->name, ReadPassword(in));
  });
  CLI::App* setGroups = named("groups", "Replace a user's permission bits");
  groups(setGroups, true);
  setGroups->callback([options] { OpenStore(*options).SetGroups(options->name, options->groups); });
  named("remove", "Remove a user")->callback([options] {
    OpenStore(*options).Remove(options->name);
  });
}

}  // namespace quillmere::host
