#include "platform/exceptions.h"

EFOpenError::EFOpenError(const std::string& FileName)
    : EFileStreamError("ファイル " + FileName + " は開けません") {}

EFCreateError::EFCreateError(const std::string& FileName)
    : EFileStreamError("ファイル " + FileName + " を作成できません") {}

EFReplaceError::EFReplaceError(const std::string& FileName, const std::string& Reason)
    : EFCreateError(TMessage{}, "ファイル " + FileName + " を置き換えられません: " + Reason) {}

std::string AssignErrorMessage(const std::string& SourceName, const std::string& DestName) {
  return SourceName + " を " + DestName + " に代入できません";
}
