#include "platform/RegistryStore.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"

namespace sorvane {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

RegKey* RegistryStore::findKey(std::string_view path)
{
    for (RegKey& k : keys_)
        if (equalsIgnoringCase(k.path, path))
            return &k;
    return nullptr;
}

const RegKey* RegistryStore::findKey(std::string_view path) const
{
    for (const RegKey& k : keys_)
        if (equalsIgnoringCase(k.path, path))
            return &k;
    return nullptr;
}

bool RegistryStore::hasKey(std::string_view path) const { return findKey(path) != nullptr; }

void RegistryStore::createKey(std::string_view path)
{
    if (!findKey(path))
        keys_.push_back(RegKey{std::string(path), {}});
}

bool RegistryStore::deleteKey(std::string_view path)
{
    auto it = std::find_if(keys_.begin(), keys_.end(),
                           [&](const RegKey& k) { return equalsIgnoringCase(k.path, path); });
    if (it == keys_.end())
        return false;
    keys_.erase(it);
    return true;
}

void RegistryStore::setValue(std::string_view path, std::string_view name, uint32_t type,
                             std::span<const uint8_t> data)
{
    createKey(path);
    RegKey& key = *findKey(path);
    for (RegValue& v : key.values) {
        if (equalsIgnoringCase(v.name, name)) {
            v.type = type;
            v.data.assign(data.begin(), data.end());
            return;
        }
    }
    key.values.push_back(RegValue{std::string(name), type, {data.begin(), data.end()}});
}

void RegistryStore::setDword(std::string_view path, std::string_view name, uint32_t v)
{
    uint8_t bytes[4];
    storeLe32(bytes, v);
    setValue(path, name, RegType::Dword, bytes);
}

void RegistryStore::setString(std::string_view path, std::string_view name, std::string_view text)
{
    std::vector<uint8_t> bytes(text.size() + 1, 0);
    std::memcpy(bytes.data(), text.data(), text.size());
    setValue(path, name, RegType::String, bytes);
}

void RegistryStore::setBinary(std::string_view path, std::string_view name, std::span<const uint8_t> data)
{
    setValue(path, name, RegType::Binary, data);
}

bool RegistryStore::deleteValue(std::string_view path, std::string_view name)
{
    RegKey* key = findKey(path);
    if (!key)
        return false;
    auto it = std::find_if(key->values.begin(), key->values.end(),
                           [&](const RegValue& v) { return equalsIgnoringCase(v.name, name); });
    if (it == key->values.end())
        return false;
    key->values.erase(it);
    return true;
}

const RegValue* RegistryStore::find(std::string_view path, std::string_view name) const
{
    const RegKey* key = findKey(path);
    if (!key)
        return nullptr;
    for (const RegValue& v : key->values)
        if (equalsIgnoringCase(v.name, name))
            return &v;
    return nullptr;
}

QueryStatus RegistryStore::query(std::string_view path, std::string_view name, std::span<uint8_t> buffer,
                                 size_t& size) const
{
    const RegValue* v = find(path, name);
    if (!v) {
        size = 0;
        return QueryStatus::Missing;
    }
    size = v->data.size();
    if (v->data.size() > buffer.size())
        return QueryStatus::MoreData;
    if (!v->data.empty())
        std::memcpy(buffer.data(), v->data.data(), v->data.size());
    return QueryStatus::Ok;
}

} // namespace sorvane
