// The program's file layer: the only code that touches the file system.
//
// Files are opened in binary mode; line ends are the interchange layer's
// business. Every operation reports failure so the driver can keep the
// host's file safe, and tests can put a failing layer in its place.
#pragma once

#include <memory>

#include "interchange/line_reader.hpp"
#include "interchange/output.hpp"

namespace textmatte {

class InFile : public ByteSource {
  public:
    virtual bool close() = 0;
};

class OutFile : public ByteSink {
  public:
    // Makes what was written durable before the file replaces another.
    virtual bool sync() = 0;
    virtual bool close() = 0;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // nullptr when the file cannot be opened (a directory cannot).
    virtual std::unique_ptr<InFile> open_read(const char* name) = 0;
    // Creates the file, or empties it; nullptr when that fails.
    virtual std::unique_ptr<OutFile> open_write(const char* name) = 0;
    // Moves `from` to `to`, replacing a file of that name, atomically.
    virtual bool rename(const char* from, const char* to) = 0;
    virtual bool remove(const char* name) = 0;
    virtual bool exists(const char* name) = 0;
};

// The file system of the working directory.
FileSystem& real_file_system();

// Console streams as byte sinks.
ByteSink& standard_output();
ByteSink& standard_error();

} // namespace textmatte
