// Creation of automation objects by class name ("Excel.Application",
// "Word.Application", "Shell.Application"): attach to a running one, or create one.
// An ObjectServer is filled by the adapters with one provider per class name.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/error.hpp"

namespace tbln {

// Base of every automation object the ports hand out.
class Object {
  public:
    virtual ~Object() = default;
};

class ObjectServer {
  public:
    struct Provider {
        // The running instance, or nullptr when none runs.
        std::function<std::shared_ptr<Object>()> getActive;
        // A new instance (which then counts as running); may raise RuntimeError.
        std::function<std::shared_ptr<Object>()> create;
    };

    void Register(const std::string& progId, Provider provider);
    void Unregister(const std::string& progId);

    // The running instance of the class; raises 429 when none runs or the class is unknown.
    std::shared_ptr<Object> GetObject(const std::string& progId);
    // A new instance of the class; raises 429 when the class cannot be created.
    std::shared_ptr<Object> CreateObject(const std::string& progId);

  private:
    const Provider* Find(const std::string& progId) const;
    std::map<std::string, Provider> providers_;  // keyed by the lower-case class name
};

template <class T>
std::shared_ptr<T> As(const std::shared_ptr<Object>& o) {
    auto t = std::dynamic_pointer_cast<T>(o);
    if (!t) Raise(err::kTypeMismatch);
    return t;
}

// Attach to a running instance, else create one; raises 429 when neither works.
template <class T>
std::shared_ptr<T> AttachOrCreate(ObjectServer& server, const std::string& progId) {
    try {
        return As<T>(server.GetObject(progId));
    } catch (const RuntimeError&) {
        return As<T>(server.CreateObject(progId));
    }
}

}  // namespace tbln
