#include "job/UExceptions.h"

UException::UException(std::int32_t error, std::uint32_t domain, const ustring& message)
    : m_domain(domain), m_error(error), m_message(message) {}

const char* UException::what() const noexcept {
    return m_message.c_str();
}
