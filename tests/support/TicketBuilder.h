// Small builders that read like the messages, tickets and checks they make:
//   Ticket().destination(Qcs().check("ResTooLowContone", Check().warn(150))).build();
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "message/umessage.h"
#include "text/ustring.h"

namespace ticket_builder {

using MessagePtr = std::shared_ptr<const umessage>;
template <class T>
using List = std::initializer_list<T>;

// Any message: each value is appended under the key (several values, or a second call, make an
// array). Copies share the message being built; a nested message is copied when added.
class Msg {
public:
    Msg() : m_(std::make_shared<umessage>()) {}
    explicit Msg(const umessage& m) : m_(std::make_shared<umessage>(m)) {}

    template <class T>
    Msg& add(const ustring& key, List<T> values, bool asArray = false) {
        for (const T& v : values) m_->addData_priv<T>(key, umessage_details::type_of<T>::id, v, asArray);
        return *this;
    }
    Msg& str(const ustring& key, List<ustring> v) { return add(key, v); }
    Msg& num(const ustring& key, List<double> v) { return add(key, v); }
    Msg& ints(const ustring& key, List<int> v, bool asArray = false) { return add(key, v, asArray); }
    Msg& longs(const ustring& key, List<long long> v) { return add(key, v); }
    Msg& flag(const ustring& key, List<bool> v) { return add(key, v); }
    Msg& msg(const ustring& key, List<Msg> v, bool asArray = false) {
        for (const Msg& m : v)
            add<std::shared_ptr<umessage>>(key, {std::make_shared<umessage>(*m.m_)}, asArray);
        return *this;
    }
    // A message entry holding a null pointer, as only a program (never a byte stream) makes.
    Msg& nullMsg(const ustring& key) { return add<std::shared_ptr<umessage>>(key, {nullptr}); }

    std::shared_ptr<umessage> build() const { return std::make_shared<umessage>(*m_); }
    operator MessagePtr() const { return build(); }  // NOLINT: reads naturally at call sites
    const umessage& get() const { return *m_; }

private:
    std::shared_ptr<umessage> m_;
};

// One profile check with its common fields; "mark" only tags a check so a test can recognise it.
class Check : public Msg {
public:
    Check& sev(const ustring& word) { return set(str("sev", {word})); }
    Check& note(double v) { return set(num("note", {v})); }
    Check& warn(double v) { return set(num("warn", {v})); }
    Check& fault(double v) { return set(num("fault", {v})); }
    Check& ignore(double v) { return set(num("ignore", {v})); }
    Check& fix(int v) { return set(ints("fix", {v})); }
    Check& precision(int v) { return set(ints("precision", {v})); }
    Check& param(const ustring& p) { return set(str("P", {p})); }
    Check& mark(const ustring& m) { return set(str("mark", {m})); }

private:
    Check& set(Msg&) { return *this; }
};

// A qcs: its "checks" and nested "restrictions".
class Qcs {
public:
    Qcs& check(const ustring& name, const Msg& c) {
        checks_.msg(name, {c});
        hasChecks_ = true;
        return *this;
    }
    Qcs& restriction(const Qcs& r) {
        restrictions_.push_back(r);
        return *this;
    }
    Msg toMsg() const {
        Msg m;
        if (hasChecks_) m.msg("checks", {checks_});
        for (const Qcs& r : restrictions_) m.msg("restrictions", {r.toMsg()});
        return m;
    }

private:
    Msg checks_;
    bool hasChecks_ = false;
    std::vector<Qcs> restrictions_;
};

class Ticket {
public:
    // A destination named after its position, holding only a qcs.
    Ticket& destination(const Qcs& q) {
        m_.msg("destinations",
               {Msg().str("identifier", {"dest" + std::to_string(++count_)}).msg("qcs", {q.toMsg()})});
        return *this;
    }
    Ticket& local(const Qcs& q) {
        m_.msg("qcs", {q.toMsg()});
        return *this;
    }
    // A stored settings record of the job file.
    Ticket& settingsRecord(const Msg& record) {
        m_.msg("settings", {record});
        return *this;
    }
    Msg& raw() { return m_; }
    MessagePtr build() const { return m_.build(); }

private:
    Msg m_;
    int count_ = 0;
};

}  // namespace ticket_builder
