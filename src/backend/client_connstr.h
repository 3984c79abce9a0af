// What a connection string that comes from a client may ask of the driver
// manager. The driver manager is a general library: it loads whatever library a
// DRIVER key names, reads whatever file a FILEDSN key names and writes the file
// a SAVEFILE key names. A remote client may do none of that on its own: it names
// drivers as the host's ini files register them and file data sources by name
// inside the file-data-source directory, and writes no file. Operators' own ini
// settings are not affected. Used by the backend's connect.
#pragma once

// Null when the driver manager may be given the string; otherwise the message
// for the client (a static text). For a Unicode connection the string is the
// UTF-8 text the driver manager will parse after widening.
const char* ClientConnStrRefusal(const char* connStr);
