// The exception for a failed platform call, carrying the operating system's status.
#pragma once

#include <cstdint>
#include <exception>

#include "text/ustring.h"

class UException : public std::exception {
public:
    // The four-character domain of every exception this system raises: 'UTIL'.
    static constexpr std::uint32_t kDomainUtil = 0x5554494C;

    explicit UException(std::int32_t error, std::uint32_t domain = kDomainUtil,
                        const ustring& message = ustring());

    std::uint32_t domain() const noexcept { return m_domain; }
    std::int32_t error() const noexcept { return m_error; }
    const ustring& message() const noexcept { return m_message; }
    // The message text, empty for the platform failures this system reports.
    const char* what() const noexcept override;

private:
    std::uint32_t m_domain;
    std::int32_t m_error;
    ustring m_message;
};
