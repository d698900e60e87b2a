#include "platform/objects.hpp"

#include <algorithm>
#include <cctype>

namespace tbln {

namespace {
std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}
}  // namespace

void ObjectServer::Register(const std::string& progId, Provider provider) {
    providers_[Lower(progId)] = std::move(provider);
}

void ObjectServer::Unregister(const std::string& progId) {
    providers_.erase(Lower(progId));
}

const ObjectServer::Provider* ObjectServer::Find(const std::string& progId) const {
    const auto it = providers_.find(Lower(progId));
    return it == providers_.end() ? nullptr : &it->second;
}

std::shared_ptr<Object> ObjectServer::GetObject(const std::string& progId) {
    const auto* p = Find(progId);
    std::shared_ptr<Object> o = p && p->getActive ? p->getActive() : nullptr;
    if (!o) Raise(err::kCannotCreate);
    return o;
}

std::shared_ptr<Object> ObjectServer::CreateObject(const std::string& progId) {
    const auto* p = Find(progId);
    if (!p || !p->create) Raise(err::kCannotCreate);
    auto o = p->create();
    if (!o) Raise(err::kCannotCreate);
    return o;
}

}  // namespace tbln
