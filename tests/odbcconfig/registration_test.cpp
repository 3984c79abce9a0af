// Registration of drivers and translators into odbcinst.ini and odbc.ini.
#include "odbcconfig/installer.h"
#include "fixtures/odbc_env/odbc_env.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using odbcconfig_test::read_text;
using odbcconfig_test::write_text;

class OdbcRegistration : public odbcconfig_test::OdbcEnv {
 protected:
  void SetUp() override {
    OdbcEnv::SetUp();
    ASSERT_EQ(_zolandm_cfg_open(&inst_, user_inst_.c_str(), 0), 0);
    ASSERT_EQ(_zolandm_cfg_open(&ini_, user_ini_.c_str(), 0), 0);
  }
  void TearDown() override {
    _zolandm_cfg_free(inst_);
    _zolandm_cfg_free(ini_);
    OdbcEnv::TearDown();
  }
  std::string text_of(zolandm_config* c) {
    EXPECT_EQ(_zolandm_cfg_save(c), 0);
    return read_text(c->fileName);
  }
  zolandm_config* inst_ = nullptr;
  zolandm_config* ini_ = nullptr;
};

TEST_F(OdbcRegistration, FromKeyValues) {
  const char spec[] = "PgDrv\0Driver=/lib/pg.so\0Setup=/lib/pgs.so\0CreateDSN=pg1,pg2\0\0";
  ASSERT_TRUE(_zolandm_install_from_keyvalues(inst_, ini_, spec, 1));
  EXPECT_EQ(text_of(inst_),
            "[ODBC Drivers]\nPgDrv = Installed\n\n[PgDrv]\nDriver = /lib/pg.so\nSetup  = /lib/pgs.so\n");
  EXPECT_EQ(text_of(ini_),
            "[ODBC Data Sources]\npg1 = PgDrv\npg2 = PgDrv\n\n[pg1]\nDriver = /lib/pg.so\n\n[pg2]\n"
            "Driver = /lib/pg.so\n");
}

TEST_F(OdbcRegistration, FromKeyValuesFailures) {
  EXPECT_FALSE(_zolandm_install_from_keyvalues(inst_, ini_, "T\0Setup=/x\0\0", 0));    // no library
  EXPECT_FALSE(_zolandm_install_from_keyvalues(inst_, ini_, "T\0Translator\0\0", 0));  // no '='
  EXPECT_TRUE(_zolandm_install_from_keyvalues(inst_, ini_, "T\0Translator=/t.so\0\0", 0));
  EXPECT_EQ(text_of(inst_), "[ODBC Translators]\nT = Installed\n\n[T]\nTranslator = /t.so\n");
  EXPECT_FALSE(_zolandm_install_from_keyvalues(inst_, ini_, "D\0Driver=/d.so\0CreateDSN=bad;name\0\0", 1));
}

TEST_F(OdbcRegistration, FromSetupFile) {
  std::string setup = path("setup.ini");
  write_text(setup,
             "[ODBC Drivers]\nPgDrv=Installed\n"
             "[PgDrv]\n\"Driver\"=x,/lib/pg.so,y\n\"Setup\"=x,/lib/pgs.so\n\"APILevel\"=a,1\n"
             "\"Empty\"=nofield\nplain=skipped\n  stop here\n\"After\"=a,b\n"
             "[PgDrv-Keys]\nFileUsage=0\nCreateDSN=pgdsn\n");
  ASSERT_TRUE(_zolandm_install_from_setup_file(inst_, ini_, setup.c_str(), "PgDrv", 1));
  EXPECT_EQ(text_of(inst_),
            "[ODBC Drivers]\nPgDrv = Installed\n\n[PgDrv]\nDriver    = /lib/pg.so\n"
            "Setup     = /lib/pgs.so\nAPILevel  = 1\nEmpty     = \nFileUsage = 0\n");
  EXPECT_EQ(text_of(ini_), "[ODBC Data Sources]\npgdsn = PgDrv\n\n[pgdsn]\nDriver = /lib/pg.so\n");
}

TEST_F(OdbcRegistration, FromSetupFileFailures) {
  std::string setup = path("setup.ini");
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"not listed", "[PgDrv]\n\"Driver\"=x,/lib/pg.so\n"},
      {"no driver key", "[ODBC Drivers]\nPgDrv=Installed\n[PgDrv]\n"},
      {"empty second field", "[ODBC Drivers]\nPgDrv=Installed\n[PgDrv]\n\"Driver\"=x,,z\n"},
      {"empty setup field", "[ODBC Drivers]\nPgDrv=Installed\n[PgDrv]\n\"Driver\"=x,/d.so\nSetup=x\n"},
  };
  for (const Case& c : cases) {
    write_text(setup, c.text);
    EXPECT_FALSE(_zolandm_install_from_setup_file(inst_, ini_, setup.c_str(), "PgDrv", 1)) << c.name;
  }
  EXPECT_FALSE(_zolandm_install_from_setup_file(inst_, ini_, path("none.ini").c_str(), "PgDrv", 1));
}

}  // namespace
