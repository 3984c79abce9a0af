// The installer functions the agent program offers to the drivers it loads: the program's
// dynamic symbol table defines every name of the export list (and no other installer or
// driver-manager name), and a driver that calls all of them, linked with nothing of ours,
// loads in the agent, binds each name to the program and gets the agent's configuration.
#include <elf.h>

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "agent_client.h"

namespace agent_test {
namespace {

// The names of the export list, comments left out.
std::set<std::string> ListedNames() {
  std::string text = test_support::read_file(INSTALLER_EXPORTS);
  for (size_t at; (at = text.find("/*")) != std::string::npos;) {
    size_t end = text.find("*/", at + 2);
    text.erase(at, end == std::string::npos ? std::string::npos : end + 2 - at);
  }
  std::set<std::string> names;
  std::string word;
  for (char c : text + " ") {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      word += c;
    } else if (!word.empty()) {
      names.insert(word);
      word.clear();
    }
  }
  return names;
}

// The names the program's dynamic symbol table defines (what a loaded library can bind to).
std::set<std::string> DefinedDynamicNames(const std::string& path) {
  const std::string image = test_support::read_file(path);
  std::set<std::string> names;
  Elf64_Ehdr eh{};
  if (image.size() < sizeof eh) return names;
  std::memcpy(&eh, image.data(), sizeof eh);
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return names;
  auto section = [&](size_t i) {
    Elf64_Shdr sh{};
    uint64_t at = eh.e_shoff + uint64_t(i) * eh.e_shentsize;
    if (at + sizeof sh <= image.size()) std::memcpy(&sh, image.data() + at, sizeof sh);
    return sh;
  };
  for (size_t i = 0; i < eh.e_shnum; i++) {
    Elf64_Shdr syms = section(i);
    if (syms.sh_type != SHT_DYNSYM) continue;
    Elf64_Shdr strs = section(syms.sh_link);
    if (strs.sh_offset > image.size() || strs.sh_size > image.size() - strs.sh_offset) continue;
    for (uint64_t at = syms.sh_offset;
         at + sizeof(Elf64_Sym) <= syms.sh_offset + syms.sh_size && at + sizeof(Elf64_Sym) <= image.size();
         at += sizeof(Elf64_Sym)) {
      Elf64_Sym sym{};
      std::memcpy(&sym, image.data() + at, sizeof sym);
      if (sym.st_shndx == SHN_UNDEF || sym.st_name >= strs.sh_size) continue;
      const char* name = image.data() + strs.sh_offset + sym.st_name;
      names.insert(std::string(name, strnlen(name, strs.sh_size - sym.st_name)));
    }
  }
  return names;
}

TEST(AgentInstallerExports, ProgramDefinesEveryListedNameAndNoOther) {
  std::set<std::string> listed = ListedNames();
  ASSERT_EQ(listed.size(), 12u);
  std::set<std::string> exported = DefinedDynamicNames(SQLGATE_BINARY);
  ASSERT_FALSE(exported.empty()) << "no dynamic symbols read from " << SQLGATE_BINARY;
  for (const std::string& name : listed) EXPECT_EQ(exported.count(name), 1u) << name << " is not exported";
  // Only the installer functions: no ODBC entry point or driver-manager internal, which a
  // driver would otherwise bind to instead of its own.
  for (const std::string& name : exported) {
    if (name.rfind("SQL", 0) == 0 || name.find("zolandm") != std::string::npos) {
      EXPECT_EQ(listed.count(name), 1u) << name << " is exported but not listed";
    }
  }
}

class AgentInstaller : public AgentTest {
 protected:
  void TearDown() override {
    AgentTest::TearDown();
    unsetenv("FAKEDRV_INSTALLER_REPORT");
  }
};

// name -> "result value origin", as the probe driver reports each call.
std::map<std::string, std::string> ReadReport(const std::string& path) {
  std::map<std::string, std::string> calls;
  std::istringstream in(test_support::read_file(path));
  std::string name, rest;
  while (in >> name && std::getline(in, rest)) calls[name] = rest.substr(rest.find_first_not_of(' '));
  return calls;
}

// The value of a key in an initialisation file's text (the files here have one section).
std::string KeyValue(const std::string& text, const std::string& key) {
  auto trim = [](std::string s) {
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t") + 1);
    return s;
  };
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    size_t eq = line.find('=');
    if (eq != std::string::npos && trim(line.substr(0, eq)) == key) return trim(line.substr(eq + 1));
  }
  return "<missing>";
}

TEST_F(AgentInstaller, LoadedDriverCallsTheProgramsInstallerFunctions) {
  setenv("FAKEDRV_INSTALLER_REPORT", dir.file("report").c_str(), 1);
  Start();
  ASSERT_EQ(cl->AgentName(hServer), "odbc");
  // The agent's own configuration: a data source of the probe driver, and a file data source
  // of the same name with another value of the same key.
  test_support::write_file(dir.file("odbcinst.ini"),
                           std::string("[Probe]\nDriver=") + FAKEDRV_INSTALLER_LIB + "\n");
  test_support::write_file(dir.file("odbc.ini"), "[probe]\nDriver=Probe\nColour=teal\n");
  test_support::write_file(dir.file("probe.dsn"), "[ODBC]\nColour=amber\n");

  std::string fail;
  EXPECT_EQ(cl->Connect(hServer, nullptr, "DSN=probe", &hConn, &fail), ER_SUCCESS) << fail << Log();

  std::map<std::string, std::string> calls = ReadReport(dir.file("report"));
  // Each reads what the agent's files hold, writes where the agent's files are, and was
  // supplied by the program (not found anywhere else).
  std::map<std::string, std::string> expected = {
      {"SQLSetConfigMode", "1 - program"},
      {"SQLGetConfigMode", "1 1 program"},
      {"SQLGetPrivateProfileString", "4 teal program"},
      {"SQLGetPrivateProfileStringW", "4 teal program"},
      {"SQLWritePrivateProfileString", "1 - program"},
      {"SQLWritePrivateProfileStringW", "1 - program"},
      {"SQLReadFileDSN", "1 amber program"},
      {"SQLReadFileDSNW", "1 amber program"},
      {"SQLWriteFileDSN", "1 - program"},
      {"SQLWriteFileDSNW", "1 - program"},
      {"SQLValidDSN", "1 0 program"},
      {"SQLValidDSNW", "1 0 program"},
  };
  EXPECT_EQ(calls, expected) << test_support::read_file(dir.file("stderr"));
  // The probe calls every listed name.
  std::set<std::string> probed;
  for (auto& [name, answer] : expected) probed.insert(name);
  EXPECT_EQ(probed, ListedNames());

  for (const char* file : {"odbc.ini", "probe.dsn"}) {
    std::string text = test_support::read_file(dir.file(file));
    EXPECT_EQ(KeyValue(text, "Written"), "narrow") << file << ":\n" << text;
    EXPECT_EQ(KeyValue(text, "WrittenW"), "wide") << file << ":\n" << text;
  }
}

}  // namespace
}  // namespace agent_test
