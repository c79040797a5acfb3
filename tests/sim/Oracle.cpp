#include "Oracle.h"

#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace sorvane::test {

OracleResult oracleDecode(const std::string& kind, size_t units, size_t rows, const Bytes& payload)
{
    TempDir dir;
    auto in = dir / "payload.bin";
    auto out = dir / "decoded.bin";
    {
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(payload.data()), std::streamsize(payload.size()));
    }
    ProcessResult r = runProcess({programFromEnv("SORVANE_PYTHON"), SIM_ORACLE, kind, std::to_string(units),
                                  std::to_string(rows), in.string(), out.string()});
    if (r.exitCode != 0)
        throw std::runtime_error("LZW oracle failed: " + r.err);
    std::ifstream f(out, std::ios::binary);
    OracleResult result;
    result.symbols.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    result.checksum = uint32_t(std::stoul(r.out, nullptr, 16));
    return result;
}

} // namespace sorvane::test
