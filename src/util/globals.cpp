// Global configuration values of the network layer.
#include "util/globals.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/config.h"

const char sect_prot_tcp[] = "Protocol TCP";
const char sect_comm[] = "Communications";
const char sect_odbc[] = "ODBC";

int VYRRPC__xdr_crypt = 0;
int tcp_port_low = 0;
int tcp_port_high = 0;

cfgent cfgents[] = {
    {GV_UDP_DEVICE, sect_prot_tcp, "UDPDevice", GV_TYPE_TEXT, nullptr, nullptr},
    {GV_TCP_DEVICE, sect_prot_tcp, "TCPDevice", GV_TYPE_TEXT, nullptr, nullptr},
    {GV_ICMP_DEVICE, sect_prot_tcp, "ICMPDevice", GV_TYPE_TEXT, nullptr, nullptr},
    {GV_BROKER_PORT, sect_prot_tcp, "BrokerPort", GV_TYPE_NUMBER, "60001", nullptr},
    {GV_IP_ADDRESS, sect_prot_tcp, "IPAddress", GV_TYPE_TEXT, nullptr, nullptr},
    {GV_PORT_LOW, sect_prot_tcp, "PortLow", GV_TYPE_NUMBER, "0", nullptr},
    {GV_PORT_HIGH, sect_prot_tcp, "PortHigh", GV_TYPE_NUMBER, "60000", nullptr},
    {GV_LISTEN, sect_prot_tcp, "Listen", GV_TYPE_NUMBER, "5000", nullptr},
    {GV_RECEIVE_TIMEOUT, sect_comm, "ReceiveTimeout", GV_TYPE_TEXT, "120", nullptr},
    {GV_RETRY_TIMEOUT, sect_comm, "RetryTimeout", GV_TYPE_NUMBER, "5", nullptr},
    {GV_BROKER_TIMEOUT, sect_comm, "BrokerTimeout", GV_TYPE_NUMBER, "30", nullptr},
    {GV_SEND_SIZE, sect_comm, "SendSize", GV_TYPE_NUMBER, "0", nullptr},
    {GV_RECEIVE_SIZE, sect_comm, "ReceiveSize", GV_TYPE_NUMBER, "0", nullptr},
    {GV_SHOW_ERRORS, sect_comm, "ShowErrors", GV_TYPE_YESNO, "No", nullptr},
    {GV_DATA_ENCRYPTION, sect_comm, "DataEncryption", GV_TYPE_YESNO, "No", nullptr},
    {GV_INI_FILE, sect_odbc, "INIFile", GV_TYPE_TEXT, "/etc/odbc.ini", nullptr},
    {GV_SHOW_LOAD_UNLOAD, sect_odbc, "ShowLoadUnload", GV_TYPE_YESNO, "No", nullptr},
    {GV_DEBUG_FILE, sect_odbc, "DebugFile", GV_TYPE_TEXT, nullptr, nullptr},
    {0, nullptr, nullptr, 0, nullptr, nullptr},
};

void gv_done(void) {
  for (cfgent* row = cfgents; row->id != 0; ++row) {
    free(row->value);
    row->value = nullptr;
  }
}

int gv_init(const char* fileName) {
  gv_done();
  PCONFIG cfg = nullptr;
  if (fileName == nullptr || VYR_Cfg_init(&cfg, fileName) != 0) return 0;
  for (cfgent* row = cfgents; row->id != 0; ++row) {
    if (VYR_Cfg_find(cfg, row->section, row->name) == 0 && cfg->value != nullptr)
      row->value = strdup(cfg->value);
  }
  VYR_Cfg_done(cfg);
  return 0;
}

namespace {

// The effective text of a setting after the type's rules; has_text false when
// there is none.
std::string effective_text(unsigned short id, bool* has_text) {
  const cfgent* row = cfgents;
  while (row->id != 0 && row->id != id) ++row;
  const char* text = nullptr;
  if (row->id != 0) text = row->value != nullptr && *row->value != '\0' ? row->value : row->deflt;
  *has_text = text != nullptr;
  std::string out = text != nullptr ? text : "";
  if (row->id == 0) return out;

  if (row->type == GV_TYPE_NUMBER && text != nullptr && text[0] == '0' &&
      (text[1] == 'x' || text[1] == 'X')) {
    // Hexadecimal: read what follows the prefix (no digits reads 0, too
    // large a value is held at the largest) and write it in decimal.
    errno = 0;
    unsigned long v = strtoul(text + 2, nullptr, 16);
    if (errno == ERANGE) v = ULONG_MAX;
    if (text[2] == '-' || text[2] == '+') v = 0;
    char buf[32];
    snprintf(buf, sizeof buf, "%lu", v);
    out = buf;
  } else if (row->type == GV_TYPE_YESNO) {
    const bool yes = text != nullptr && (text[0] == 'Y' || text[0] == 'y' || text[0] == '1');
    out.assign(1, yes ? '1' : '0');
    *has_text = true;
  }
  return out;
}

}  // namespace

int gv_get_value(unsigned short id, void* pResult, int retType, unsigned int outSize) {
  if (pResult == nullptr) return -1;
  bool has_text = false;
  switch (retType) {
    case GV_RET_COPY: {
      std::string text = effective_text(id, &has_text);
      *static_cast<char**>(pResult) = has_text ? strdup(text.c_str()) : nullptr;
      return 0;
    }
    case GV_RET_INT: {
      if (outSize != 1 && outSize != 2 && outSize != 4) return -1;
      std::string text = effective_text(id, &has_text);
      long v = strtol(has_text ? text.c_str() : "0", nullptr, 10);
      if (outSize == 1)
        *static_cast<int8_t*>(pResult) = static_cast<int8_t>(v);
      else if (outSize == 2)
        *static_cast<int16_t*>(pResult) = static_cast<int16_t>(v);
      else
        *static_cast<int32_t*>(pResult) = static_cast<int32_t>(v);
      return 0;
    }
    case GV_RET_BUFFER: {
      if (outSize < 1) return -1;
      std::string text = effective_text(id, &has_text);
      size_t n = std::min<size_t>(text.size(), outSize - 1);
      memcpy(pResult, text.data(), n);
      static_cast<char*>(pResult)[n] = '\0';
      return 0;
    }
    default:
      return -1;
  }
}

int vsa_init(void) {
  gv_get_value(GV_DATA_ENCRYPTION, &VYRRPC__xdr_crypt, GV_RET_INT, 4);
  gv_get_value(GV_PORT_LOW, &tcp_port_low, GV_RET_INT, 4);
  gv_get_value(GV_PORT_HIGH, &tcp_port_high, GV_RET_INT, 4);
  return 0;
}

int vsa_done(void) { return 0; }
