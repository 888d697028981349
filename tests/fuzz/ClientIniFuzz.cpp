// client.ini reading and writing: whatever the file holds, a read gives at most 127 bytes
// that do not end inside a two-byte character, and a value just written reads back.
#include "FuzzCheck.h"
#include "MemoryFile.h"

#include "core/IniFile.h"
#include "wire/GbkText.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryFile file("client_ini_fuzz.ini");
    const CIniFile ini(file.Write(data, size));

    for (const char* key : {"user0", "saveuser", "lastuser"}) {
        const std::string value = ini.Read("LogInfo", key, "fallback");
        FUZZ_CHECK(value.size() < CIniFile::kReadBuffer);
        FUZZ_CHECK(net::GbkPrefixLength(value, value.size()) == value.size());
    }
    ini.ReadInt("LogInfo", "saveuser", -1);

    // A write keeps the rest readable and its own value comes back (when it could be made).
    if (ini.Write("LogInfo", "user1", "\xd5\xc5\xc8\xfd"))
        FUZZ_CHECK(ini.Read("loginfo", "USER1") == "\xd5\xc5\xc8\xfd");
    return 0;
}
