// Messages put together by hand from the encoding rules, the way other producers
// write them, for the reader's tests and the fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mms_maker.h"
#include "test_support.h"

namespace raw_mms {

inline std::string Uv(size_t v) { return TMmsMaker::EncodeUintvar(static_cast<uint32_t>(v)); }
// A value-length: one byte up to 30, else 1F and a uintvar.
inline std::string Vl(size_t n) { return n < 31 ? std::string(1, static_cast<char>(n)) : "\x1F" + Uv(n); }
inline std::string Z(std::string_view text) { return std::string(text) + '\0'; }

// m-send-req with a transaction id, the version, the given fields, and last the
// Content-Type whose value (media type and parameters) is ct.
inline std::string Header(const std::string& fields, const std::string& ct) {
    return B({0x8C, 0x80, 0x98}) + Z("T42") + B({0x8D, 0x90}) + fields + B({0x84}) + Vl(ct.size()) + ct;
}
// Any other PDU: its type (X-Mms-Message-Type) and the given fields.
inline std::string Pdu(int type, const std::string& fields) { return B({0x8C, type}) + fields; }
inline std::string Entry(const std::string& headers, const std::string& data) {
    return Uv(headers.size()) + Uv(data.size()) + headers + data;
}
// Part headers: a content type of its own (a short integer, or a value-length with
// a text type and a Name) and the Content-ID.
inline std::string CidOnly(int shortType, const std::string& cid) {
    return B({shortType}) + B({0xC0, '"'}) + Z("<" + cid + ">");
}
inline std::string Named(const std::string& type, const std::string& name) {
    const std::string v = Z(type) + B({0x85}) + Z(name);
    return Vl(v.size()) + v;
}
// A text/plain part named name whose character set is given by the parameter bytes
// (81 and a number, or a text parameter): the general form of a content type.
inline std::string TextWithCharset(const std::string& charsetParameter, const std::string& name) {
    const std::string v = B({0x83}) + charsetParameter + B({0x85}) + Z(name);
    return Vl(v.size()) + v;
}
inline const std::string kSmilType = Z("application/smil");
// The content types of a whole message, as short integers.
inline const std::string kMixed = B({0xA3});    // multipart/mixed
inline const std::string kRelated = B({0xB3});  // multipart/related
}  // namespace raw_mms
