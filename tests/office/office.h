// An office server in miniature: an operators' group and two operator accounts of its own,
// made for these tests and removed afterwards, and a demo installation laid out for the group
// as the administrator's guide lays one out.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/installation.h"
#include "support/run_as.h"

namespace office_test {

struct Operator {
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
  std::string home;     // the account's home directory
  std::string station;  // its workstation directory (ZEDTMP), private
};

class Office {
 public:
  static constexpr const char* kGroup = "mctest_office";
  static constexpr const char* kNames[2] = {"mctest_op1", "mctest_op2"};

  // Makes the group, the accounts and the installation; false (with why) when something failed.
  bool Make(std::string& why) {
    RemoveAccounts();  // what a run that was killed may have left
    made_ = true;
    auto fail = [&](const std::string& what) {
      why = what;
      return false;
    };
    if (!inst_.ok()) return fail("demo/make-install failed");
    const std::string scratch = inst_.scratch();
    if (::chmod(scratch.c_str(), 0755) != 0) return fail("chmod of the scratch folder");
    if (!Sh("groupadd " + std::string(kGroup))) return fail("groupadd");
    struct group* g = ::getgrnam(kGroup);
    if (g == nullptr) return fail("the group is not there after groupadd");
    groupId_ = g->gr_gid;
    for (int i = 0; i < 2; ++i) {
      Operator& op = operators_[i];
      op.name = kNames[i];
      op.home = scratch + "/home-" + op.name;
      // No password ("*"), but not locked ("!"): sshd without PAM lets no locked account in.
      if (!Sh("useradd -M -U -p '*' -d '" + op.home + "' -s /bin/sh -G " + kGroup + " " + op.name)) return fail("useradd");
      struct passwd* pw = ::getpwnam(op.name.c_str());
      if (pw == nullptr) return fail("the account is not there after useradd");
      op.uid = pw->pw_uid;
      op.gid = pw->pw_gid;
      op.station = op.home + "/station";
      if (!Sh("install -d -m 0700 -o " + op.name + " -g " + op.name + " '" + op.home + "' '" + op.station + "'")) {
        return fail("the operator's folders");
      }
      app_test::WriteDosFile(op.station + "/Sessio.ini", {"[Menu]", "Titol=Fitxa de proves", "NomMenu=MODCARTA",
                                                          "Operador=" + op.name, "[Terminal]", "Dir=" + op.station + "/"});
      app_test::WriteDosFile(op.station + "/OrbaTerm.ini",
                             {"[Pantalla]", "Seleccio=0", "[Sistema]", "Data=20261209", "Idioma=CAT"});
      Sh("chown " + op.name + ": '" + op.station + "'/*.ini");
    }
    // The installation as the administrator's guide lays it out, without the files that the
    // operators' programs make: the lock registry, the change log and the card file.
    const std::string root = inst_.root();
    if (!Sh("rm -rf '" + root + "/LOCKS' '" + root + "/db.log' '" + root + "/T1' '" + root + "'/DADES/TranLauV.dat*") ||
        !Sh("chgrp -R " + std::string(kGroup) + " '" + root + "' && chmod -R g+rwX,o-w '" + root +
            "' && find '" + root + "' -type d -exec chmod g+s {} +")) {
      return fail("laying out the installation for the group");
    }
    return true;
  }

  ~Office() {
    if (made_) RemoveAccounts();
  }

  const Operator& op(int i) const { return operators_[i]; }
  gid_t group() const { return groupId_; }
  const app_test::Installation& inst() const { return inst_; }
  const std::string& root() const { return inst_.root(); }

  // The environment an operator's program starts with.
  session::MapEnvironment Environment(const Operator& op) const {
    session::MapEnvironment env;
    env.Set("ZEDROOT", root() + "/");
    env.Set("ZEDTMP", op.station + "/");
    return env;
  }

  static bool Sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

 private:
  static void RemoveAccounts() {
    for (const char* name : kNames) {
      Sh(std::string("userdel -f ") + name);
      Sh(std::string("groupdel ") + name);
    }
    Sh(std::string("groupdel ") + kGroup);
  }

  app_test::Installation inst_;
  Operator operators_[2];
  gid_t groupId_ = 0;
  bool made_ = false;
};

}  // namespace office_test
