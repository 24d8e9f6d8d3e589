#pragma once

// The exception family of the picture framework that the rest of the system is written against.
// Every exception carries one UTF-8 message text; the texts below are the framework's own.

#include <exception>
#include <string>
#include <utility>

inline constexpr const char* SReadError = "ストリームからの読み込みエラー";
inline constexpr const char* SWriteError = "ストリームへの書き込みエラー";
inline constexpr const char* SRangeError = "範囲チェックエラー";
inline constexpr const char* SOutOfMemory = "メモリが足りません";
inline constexpr const char* SInvalidPointer = "無効なポインタ操作";

class Exception : public std::exception {
 public:
  explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }
  const std::string& Message() const noexcept { return FMessage; }

 private:
  std::string FMessage;
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

class EReadError : public EStreamError {
 public:
  EReadError() : EStreamError(SReadError) {}
};

class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError(SWriteError) {}
};

class EFileStreamError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// "ファイル %s は開けません" with the file name as given.
class EFOpenError : public EFileStreamError {
 public:
  explicit EFOpenError(const std::string& FileName);
};

// "ファイル %s を作成できません" with the file name as given.
class EFCreateError : public EFileStreamError {
 public:
  explicit EFCreateError(const std::string& FileName);

 protected:
  struct TMessage {};
  EFCreateError(TMessage, std::string Message) : EFileStreamError(std::move(Message)) {}
};

// "ファイル %s を置き換えられません: " followed by why (Reason): a file that exists could not be
// replaced by its new contents.
class EFReplaceError : public EFCreateError {
 public:
  EFReplaceError(const std::string& FileName, const std::string& Reason);
};

class ERangeError : public Exception {
 public:
  ERangeError() : Exception(SRangeError) {}
};

class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception(SOutOfMemory) {}
};

class EInvalidPointer : public Exception {
 public:
  EInvalidPointer() : Exception(SInvalidPointer) {}
};

class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// An assignment between two objects that cannot take each other's contents.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// "%s を %s に代入できません": source class name (or "nil"), destination class name.
std::string AssignErrorMessage(const std::string& SourceName, const std::string& DestName);
