#include "zip_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace {

void Put16(std::string& s, uint32_t v)
{
    s += char(v & 0xFF);
    s += char(v >> 8 & 0xFF);
}

void Put32(std::string& s, uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

std::string RawDeflate(const std::string& data)
{
    z_stream z = {};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, uLong(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = uInt(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The traditional encryption, written from the application note for the
// tests' own use.
struct Cipher {
    uint32_t keys[3] = {0x12345678, 0x23456789, 0x34567890};
    static uint32_t Crc(uint32_t crc, uint8_t b)
    {
        crc ^= b;
        for (int k = 0; k < 8; k++)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        return crc;
    }
    void Update(uint8_t plain)
    {
        keys[0] = Crc(keys[0], plain);
        keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
        keys[2] = Crc(keys[2], uint8_t(keys[1] >> 24));
    }
    uint8_t Stream() const
    {
        uint32_t t = (keys[2] & 0xFFFF) | 2;
        return uint8_t((t * (t ^ 1)) >> 8);
    }
    char Encrypt(char plain)
    {
        uint8_t c = uint8_t(plain) ^ Stream();
        Update(uint8_t(plain));
        return char(c);
    }
};

}  // namespace

uint32_t Crc32Of(const std::string& data)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
}

std::string MemberData(const ZipMember& m)
{
    std::string data = m.method == 8 ? RawDeflate(m.data) : m.data;
    if (m.password.empty())
        return data;
    Cipher cipher;
    for (char c : m.password)
        cipher.Update(uint8_t(c));
    std::string header(12, '\x5A');
    uint32_t crc = Crc32Of(m.data);
    header[11] = char((m.descriptor || m.streamed) ? (m.timeDate >> 8 & 0xFF) : crc >> 24);
    std::string out;
    for (char c : header + data)
        out += cipher.Encrypt(c);
    return out;
}

std::string MakeZip(const std::vector<ZipMember>& members, const std::string& comment)
{
    std::string local, central;
    for (const ZipMember& m : members) {
        std::string data = MemberData(m);
        uint32_t crc = Crc32Of(m.data) + (m.badCrc ? 1 : 0);
        uint32_t size = m.compressedSizeOverride >= 0 ? uint32_t(m.compressedSizeOverride)
                                                      : uint32_t(data.size());
        uint16_t flags = uint16_t((m.password.empty() ? 0 : 1) | (m.descriptor || m.streamed ? 8 : 0));
        uint32_t offset = uint32_t(local.size());
        local += "PK\x03\x04";
        Put16(local, 20);
        Put16(local, flags);
        Put16(local, m.method);
        Put32(local, m.timeDate);
        Put32(local, m.streamed ? 0 : crc);
        Put32(local, m.streamed ? 0 : size);
        Put32(local, m.streamed ? 0 : uint32_t(m.data.size()));
        Put16(local, uint32_t(m.name.size()));
        Put16(local, uint32_t(m.extra.size()));
        local += m.name + m.extra + data;
        if (m.descriptor || m.streamed) {
            local += "PK\x07\x08";
            Put32(local, crc);
            Put32(local, uint32_t(data.size()));
            Put32(local, uint32_t(m.data.size()));
        }
        central += "PK\x01\x02";
        Put16(central, 20);
        Put16(central, 20);
        Put16(central, flags);
        Put16(central, m.method);
        Put32(central, m.timeDate);
        Put32(central, crc);
        Put32(central, uint32_t(data.size()));
        Put32(central, uint32_t(m.data.size()));
        Put16(central, uint32_t(m.name.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0);
        Put32(central, offset);
        central += m.name;
    }
    std::string end = "PK\x05\x06";
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, uint32_t(members.size()));
    Put16(end, uint32_t(members.size()));
    Put32(end, uint32_t(central.size()));
    Put32(end, uint32_t(local.size()));
    Put16(end, uint32_t(comment.size()));
    return local + central + end + comment;
}
