// Builds typed messages for tests so that they read like the tickets they make:
//   Msg().str("identifier", "north").sub("qcs", Msg().sub("checks", Msg()))
#pragma once

#include <initializer_list>
#include <memory>

#include "umessage.h"
#include "ustring.h"

class Msg {
public:
    Msg() : m_(std::make_shared<umessage>()) {}

    Msg& str(const ustring& name, std::initializer_list<ustring> values) {
        return add(name, umessage_type_string, values);
    }
    Msg& num(const ustring& name, std::initializer_list<double> values) {
        return add(name, umessage_type_double, values);
    }
    Msg& ints(const ustring& name, std::initializer_list<int> values) {
        return add(name, umessage_type_int, values);
    }
    Msg& longs(const ustring& name, std::initializer_list<long long> values) {
        return add(name, umessage_type_longlong, values);
    }
    Msg& flag(const ustring& name, std::initializer_list<bool> values) {
        return add(name, umessage_type_bool, values);
    }
    // Each value is a copy, so a builder can be reused for several values.
    Msg& sub(const ustring& name, std::initializer_list<Msg> values) {
        for (const Msg& v : values)
            m_->addData_priv<std::shared_ptr<umessage>>(name, umessage_type_message,
                                                        std::make_shared<umessage>(*v.m_), false);
        return *this;
    }

    // A message entry whose value is a null pointer, as only a program (never a byte stream) makes.
    Msg& nullSub(const ustring& name) {
        m_->addData_priv<std::shared_ptr<umessage>>(name, umessage_type_message, nullptr, false);
        return *this;
    }

    const umessage& get() const { return *m_; }
    std::shared_ptr<const umessage> ptr() const { return std::make_shared<umessage>(*m_); }

private:
    template <class T>
    Msg& add(const ustring& name, umessage_type_id type, std::initializer_list<T> values) {
        for (const T& v : values) m_->addData_priv<T>(name, type, v, false);
        return *this;
    }
    std::shared_ptr<umessage> m_;
};
