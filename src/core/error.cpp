#include "core/error.hpp"

namespace tbln {

std::string StandardDescription(std::int32_t number) {
    switch (number) {
        case err::kInvalidCall:
            return "Invalid procedure call or argument";
        case err::kOverflow:
            return "Overflow";
        case err::kSubscript:
            return "Subscript out of range";
        case err::kTypeMismatch:
            return "Type mismatch";
        case err::kFileNotFound:
            return "File not found";
        case err::kPathNotFound:
            return "Path not found";
        case err::kPermissionDenied:
            return "Permission denied";
        case err::kFileAccess:
            return "Path/File access error";
        case err::kObjectUnloaded:
            return "Object was unloaded";
        case err::kObjectNotSet:
            return "Object variable or With block variable not set";
        case err::kCannotCreate:
            return "ActiveX component can't create object";
        case err::kNoSuchMember:
            return "Object doesn't support this property or method";
        case err::kAutomation:
            return "Automation error";
        case err::kDuplicateKey:
            return "This key is already associated with an element of this collection";
        case err::kApplicationDefined:
            return "Application-defined or object-defined error";
        default:
            return "Application-defined or object-defined error";
    }
}

RuntimeError::RuntimeError(std::int32_t number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

RuntimeError::RuntimeError(std::int32_t number)
    : RuntimeError(number, StandardDescription(number)) {}

void Raise(std::int32_t number) {
    throw RuntimeError(number);
}

void Raise(std::int32_t number, std::string description) {
    throw RuntimeError(number, std::move(description));
}

}  // namespace tbln
