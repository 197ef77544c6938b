// The private value store, kept in section "user" of the main settings file.
#include "core/private_store.h"

#include "core/ini.h"
#include "core/secret_cipher.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"

namespace {

constexpr const char* kSection = "user";
constexpr const char* kKeyText = "vultz";

std::string lower_name(const char* name)
{
    std::string out;
    buf_copy(out, kLongTextSize, name);
    text_lower(out);
    return out;
}

}  // namespace

int private_value_set(const char* name, const char* text)
{
    std::string key = lower_name(name);
    if (key.empty())
        return 0;
    std::string value;
    buf_copy(value, kLongTextSize, text);
    if (value.empty())
        return ini_write(kSection, key.c_str(), nullptr, main_ini_path) ? 1 : 0;
    // A value the cipher can't take is refused; the stored one stays.
    if (!crypt_encrypt_text(value, kKeyText) || value.empty())
        return 0;
    return ini_write(kSection, key.c_str(), value.c_str(), main_ini_path) ? 1 : 0;
}

int private_value_get(const char* name, std::string& dest)
{
    dest.clear();
    if (!name || !*name)
        return 0;
    std::string value;
    if (ini_read(kSection, name, "", value, kLongTextSize, main_ini_path) <= 0)
        return 0;
    if (!crypt_decrypt_text(value, kKeyText) || value.empty())
        return 0;
    buf_copy(dest, kLongTextSize, std::string_view(value));
    return 1;
}

int private_value_delete(const char* name)
{
    if (!name || !*name)
        return 0;
    return ini_write(kSection, name, nullptr, main_ini_path) ? 1 : 0;
}
