// Global configuration values of the network layer: a table of settings read
// at start-up from the file named by VYRCONFIG and looked up by number.
#pragma once

struct cfgent {
  unsigned short id;  // 0 ends the table
  const char* section;
  const char* name;
  int type;           // GV_TYPE_*
  const char* deflt;  // may be null
  char* value;        // owned copy of the text found in the file, or null
};

enum { GV_TYPE_TEXT = 1, GV_TYPE_NUMBER = 2, GV_TYPE_YESNO = 3 };

// Setting ids.
enum : unsigned short {
  GV_UDP_DEVICE = 0x0102,
  GV_TCP_DEVICE = 0x0101,
  GV_ICMP_DEVICE = 0x0105,
  GV_BROKER_PORT = 0x0103,
  GV_IP_ADDRESS = 0x0104,
  GV_PORT_LOW = 0x0106,
  GV_PORT_HIGH = 0x0107,
  GV_LISTEN = 0x0108,
  GV_RECEIVE_TIMEOUT = 0x1001,
  GV_RETRY_TIMEOUT = 0x1002,
  GV_BROKER_TIMEOUT = 0x1003,
  GV_SEND_SIZE = 0x1004,
  GV_RECEIVE_SIZE = 0x1005,
  GV_SHOW_ERRORS = 0x1008,
  GV_DATA_ENCRYPTION = 0x1009,
  GV_INI_FILE = 0x2003,
  GV_SHOW_LOAD_UNLOAD = 0x2002,
  GV_DEBUG_FILE = 0x2001,
};

// gv_get_value result types
enum { GV_RET_COPY = 1, GV_RET_INT = 2, GV_RET_BUFFER = 4 };

extern const char sect_prot_tcp[];  // "Protocol TCP"
extern const char sect_comm[];      // "Communications"
extern const char sect_odbc[];      // "ODBC"
extern cfgent cfgents[];

// Record scrambling switch (read by the record-marking stream) and the port
// range; set by vsa_init. Defined here, in the foundation library.
extern int VYRRPC__xdr_crypt;
extern int tcp_port_low;
extern int tcp_port_high;

int gv_init(const char* fileName);  // 0 always
void gv_done(void);
int gv_get_value(unsigned short id, void* pResult, int retType, unsigned int outSize);
int vsa_init(void);  // 0 always
int vsa_done(void);
