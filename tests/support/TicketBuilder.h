// Small builders that read like the tickets, checks and problem descriptions they make.
//
//   Ticket()
//       .destination(Qcs().check("ResTooLowContone", Check().warn(150)))
//       .local(Qcs().check("MissingTrimBox", Check().sev("note")))
//       .build();
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "umessage.h"
#include "ustring.h"

namespace ticket_builder {

using MessagePtr = std::shared_ptr<const umessage>;

// Any message: each value is appended under the key (several values, or a second call, make an
// array). Copies share the message being built; a nested message is copied when added.
class Msg {
public:
    Msg() : m_(std::make_shared<umessage>()) {}

    Msg& str(const ustring& key, const ustring& v) { return add<ustring>(key, {v}); }
    Msg& str(const ustring& key, std::initializer_list<ustring> v) { return add(key, v); }
    Msg& num(const ustring& key, double v) { return add<double>(key, {v}); }
    Msg& num(const ustring& key, std::initializer_list<double> v) { return add(key, v); }
    Msg& ints(const ustring& key, int v) { return add<int>(key, {v}); }
    Msg& ints(const ustring& key, std::initializer_list<int> v) { return add(key, v); }
    Msg& longs(const ustring& key, long long v) { return add<long long>(key, {v}); }
    Msg& longs(const ustring& key, std::initializer_list<long long> v) { return add(key, v); }
    Msg& flag(const ustring& key, bool v) { return add<bool>(key, {v}); }
    Msg& flag(const ustring& key, std::initializer_list<bool> v) { return add(key, v); }
    Msg& msg(const ustring& key, const Msg& v) { return msg(key, {v}); }
    Msg& msg(const ustring& key, std::initializer_list<Msg> v) {
        for (const Msg& m : v) add<std::shared_ptr<umessage>>(key, {std::make_shared<umessage>(*m.m_)});
        return *this;
    }
    // A message entry whose value is a null pointer, as only a program (never a byte stream) makes.
    Msg& nullMsg(const ustring& key) { return add<std::shared_ptr<umessage>>(key, {nullptr}); }

    std::shared_ptr<umessage> build() const { return std::make_shared<umessage>(*m_); }
    operator MessagePtr() const { return build(); }  // NOLINT: reads naturally at call sites
    const umessage& get() const { return *m_; }

private:
    template <class T>
    Msg& add(const ustring& key, std::initializer_list<T> values) {
        for (const T& v : values) m_->addData_priv<T>(key, umessage_details::type_of<T>::id, v, false);
        return *this;
    }
    std::shared_ptr<umessage> m_;
};

// One profile check with its common fields; "mark" only tags a check so a test can recognise it.
class Check : public Msg {
public:
    Check& sev(const ustring& word) { return set(str("sev", word)); }
    Check& note(double v) { return set(num("note", v)); }
    Check& warn(double v) { return set(num("warn", v)); }
    Check& fault(double v) { return set(num("fault", v)); }
    Check& ignore(double v) { return set(num("ignore", v)); }
    Check& fix(int v) { return set(ints("fix", {v})); }
    Check& precision(int v) { return set(ints("precision", {v})); }
    Check& param(const ustring& p) { return set(str("P", p)); }
    Check& mark(const ustring& m) { return set(str("mark", m)); }

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
        Msg d;
        d.str("identifier", ustring("dest") + ustring(std::to_string(++count_))).msg("qcs", {q.toMsg()});
        m_.msg("destinations", {d});
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

// A problem-description message: one sub-message per problem name.
class Descriptions {
public:
    Descriptions& describe(const ustring& name, const ustring& typeWord, bool userUnits = false,
                           const Msg& defaults = Msg()) {
        Msg d;
        if (!typeWord.empty()) d.str("type", typeWord);
        if (userUnits) d.flag("userUnits", {true});
        if (!defaults.get().empty()) d.msg("defaults", {defaults});
        m_.msg(name, {d});
        return *this;
    }
    const umessage& get() const { return m_.get(); }

private:
    Msg m_;
};

}  // namespace ticket_builder
