// The demo installation laid out in a temporary directory for a benchmark, optionally with its
// data replaced by 200 properties of 500 departments each (every other one with a record card,
// about as many as in the demo), and optionally with its record files on a PostgreSQL server of
// the run's own (loopback TCP; Orba.ini names it). Laid out by demo/make-install with the
// recman utility built beside the benchmark; removed at exit.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "session/environment.h"
#include "tests/support/pg_cluster.h"

namespace bench_support {

inline constexpr int kLargeProperties = 200;
inline constexpr int kLargeDepartmentsEach = 500;

inline std::string SourceDir() { return MODCARTA_SOURCE_DIR; }
inline std::string BinDir() { return std::filesystem::canonical("/proc/self/exe").parent_path().string(); }
inline bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

// The run's PostgreSQL server, started at its first use and removed at exit.
inline testing_support::PgCluster& Server() {
  static testing_support::PgCluster cluster(true);
  return cluster;
}

// An installation in a temporary directory, removed at exit.
class Installation {
 public:
  explicit Installation(bool large, bool server = false) {
    std::string pattern = (std::filesystem::temp_directory_path() / "modcarta-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return;
    dir_ = pattern;
    root_ = dir_ + "/inst";
    ok_ = Shell("'" + SourceDir() + "/demo/make-install' '" + BinDir() + "' '" + root_ + "' >/dev/null");
    if (ok_ && large) ok_ = ReplaceData();
    if (ok_ && server) ok_ = MoveToServer(large ? "mcbench_large" : "mcbench_demo");
    station_ = root_ + "/T1";
    std::filesystem::create_directories(station_);
    std::ofstream(station_ + "/Sessio.ini", std::ios::binary)
        << "[Menu]\r\nTitol=Fitxa\r\nNomMenu=MODCARTA\r\n[Terminal]\r\nDir=" << station_ << "/\r\n";
    std::ofstream(station_ + "/OrbaTerm.ini", std::ios::binary)
        << "[Pantalla]\r\nSeleccio=0\r\n[Sistema]\r\nData=20261209\r\nIdioma=CAT\r\n";
  }
  ~Installation() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  bool ok() const { return ok_; }
  const std::string& root() const { return root_; }
  const std::string& station() const { return station_; }
  session::MapEnvironment Environment() const {
    session::MapEnvironment env;
    env.Set("ZEDROOT", root_ + "/");
    env.Set("ZEDTMP", station_ + "/");
    return env;
  }

 private:
  bool Load(const std::string& file, const std::string& csv) {
    std::string path = root_ + "/DADES/" + file + ".dat";
    std::string input = dir_ + "/" + file + ".csv";
    std::ofstream(input) << csv;
    std::filesystem::remove(path);
    return Shell("'" + BinDir() + "/recman' create '" + path + "' '" + root_ + "/ddf/" + file + ".xdf' >/dev/null") &&
           Shell("'" + BinDir() + "/recman' load '" + path + "' '" + input + "' --layout '" + SourceDir() +
                 "/demo/layouts/" + file + ".json' --csv >/dev/null");
  }
  // The data files go to a database of their own on the run's server, loaded from a CSV save
  // of each; the installation's Orba.ini names the server, and the local files are removed.
  bool MoveToServer(const std::string& database) {
    if (!Server().ok() || Server().Sql({"CREATE DATABASE " + database}) != 0) return false;
    const std::string conninfo = Server().tcpConninfo(database);
    std::ofstream(root_ + "/Orba.ini", std::ios::binary | std::ios::app) << "[Dades]\r\nServidor=" << conninfo << "\r\n";
    const std::string recman = "cd '" + root_ + "' && '" + BinDir() + "/recman' ";
    const std::string server = recman + "--server '" + conninfo + "' ";
    for (const char* f : {"FinquesV", "DepartaV", "TranLauV"}) {
      const std::string file = f, csv = dir_ + "/" + file + "-server.csv";
      const std::string layout = " --layout '" + SourceDir() + "/demo/layouts/" + file + ".json' --csv";
      if (!Shell(recman + "save DADES/" + file + ".dat '" + csv + "'" + layout + " >/dev/null") ||
          !Shell(server + "create DADES/" + file + ".dat ddf/" + file + ".xdf >/dev/null") ||
          !Shell(server + "load DADES/" + file + ".dat '" + csv + "'" + layout + " >/dev/null")) {
        return false;
      }
      std::filesystem::remove(root_ + "/DADES/" + file + ".dat");
    }
    return true;
  }
  bool ReplaceData() {
    std::string finques = "codi,nom,adreca,poblacio,codi_postal,administrador\n";
    std::string departa = "finca,departament,nom,tipologia,titular,data_alta,superficie,tipus,coeficient\n";
    std::string tranlau =
        "finca,departament,inici,fi,prorroga,actiu,num_contracte,deute,actualitzacio,renda,dia_cobrament,fianca,iva,"
        "domiciliat,retencio,comunitat,aigua,llum,ibi,ipc,mesos_fianca,rebuts_pendents\n";
    char line[256];
    for (int p = 1; p <= kLargeProperties; ++p) {
      std::snprintf(line, sizeof line, "%03d,Carrer de Prova %d,carrer de Prova %d,Girona,17001,Anna Puig\n", p, p, p);
      finques += line;
      for (int d = 1; d <= kLargeDepartmentsEach; ++d) {
        std::snprintf(line, sizeof line, "%03d,%03d,Pis %d,Habitatge,Joan Serra,2010-05-01,70,H,20\n", p, d, d);
        departa += line;
        if (d % 2 == 0) {
          std::snprintf(line, sizeof line,
                        "%03d,%03d,2022-01-01,2027-01-01,S,S,%d,0,2025-01-01,80000,1,160000,S,S,N,5000,N,N,30000,2.5,2,0\n",
                        p, d, p * 1000 + d);
          tranlau += line;
        }
      }
    }
    return Load("FinquesV", finques) && Load("DepartaV", departa) && Load("TranLauV", tranlau);
  }

  std::string dir_, root_, station_;
  bool ok_ = false;
};

inline Installation& InstallationFor(bool large, bool server = false) {
  static std::unique_ptr<Installation> installations[2][2];
  std::unique_ptr<Installation>& inst = installations[large ? 1 : 0][server ? 1 : 0];
  if (!inst) inst = std::make_unique<Installation>(large, server);
  return *inst;
}

}  // namespace bench_support
