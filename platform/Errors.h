// Error types shared by every layer. Each failure family has its own class so
// that the start-up failure box can name the kind of error it shows.
#pragma once

#include <exception>
#include <string>

namespace pw {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}

  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

  virtual const char* ClassName() const { return "Exception"; }

 private:
  std::string message_;
};

#define PW_ERROR_CLASS(Name, Base)                           \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

PW_ERROR_CLASS(EListError, Exception);
PW_ERROR_CLASS(EStreamError, Exception);
PW_ERROR_CLASS(EFilerError, EStreamError);
PW_ERROR_CLASS(EReadError, EFilerError);
PW_ERROR_CLASS(EWriteError, EFilerError);
PW_ERROR_CLASS(EFCreateError, EStreamError);
PW_ERROR_CLASS(EFOpenError, EStreamError);
// A FIFO, a device or a folder where a stream wants a regular file.
PW_ERROR_CLASS(ENotRegularFile, EFOpenError);
PW_ERROR_CLASS(ERegistryError, Exception);

#undef PW_ERROR_CLASS

// Raised when a system call on a file or directory fails; carries the
// system's error code (2 file not found, 3 invalid name, 5 access denied, ...).
class EInOutError : public Exception {
 public:
  EInOutError(int code, std::string message) : Exception(std::move(message)), code_(code) {}
  int ErrorCode() const { return code_; }
  const char* ClassName() const override { return "EInOutError"; }

 private:
  int code_;
};

// The error for a failed file or directory operation with a system error code.
EInOutError InOutError(int code);

// printf-style formatting for the few messages that carry a value.
std::string Format(const char* pattern, const std::string& arg);
std::string Format(const char* pattern, long long arg);
// A count with its noun: "1 file", "3 files".
std::string Plural(long long count, const char* one, const char* many);

}  // namespace pw
