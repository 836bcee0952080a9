#pragma once

// XML-RPC over HTTP/1.1 as the rig-sharing server flrig speaks it on its TCP port (12345): each
// call is one POST /RPC2 with a Content-Length, each answer one HTTP response with a
// Content-length, several on one kept-alive connection. flrig 1.4.7 answers a frequency read so:
//
//   HTTP/1.1 200 OK\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\nContent-length: 118\r\n
//   \r\n<?xml version="1.0"?>\r\n<methodResponse><params><param>\r\n\t<value>14070000</value>
//   \r\n</param></params></methodResponse>\r\n
//
// Only what the link needs is read: one value (a plain or typed scalar, or an array of them) or a
// fault's text. No I/O here.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cat::flrig {

// "POST /RPC2 ..." carrying a call of `method`; `params` is what goes between <params> and
// </params>, empty for none.
std::string Request(std::string_view method, std::string_view params = {});
// One parameter: "<param><value><double>14074000</double></value></param>".
std::string Param(std::string_view type, std::string_view text);

// The method a request of ours calls; empty when `bytes` is no such request.
std::string MethodOf(std::string_view bytes);
// The first parameter's text of a request ("14074000" of a frequency set); empty when none.
std::string FirstParamOf(std::string_view bytes);

// How much of `bytes` one HTTP answer takes.
struct HttpCut {
    enum class Kind {
        Whole,    // `length` bytes, `body` inside them
        Partial,  // an answer's beginning: the rest may still come
        NotHttp,  // no HTTP answer starts here; `length` bytes are surely none (0: not known)
    };
    Kind kind = Kind::NotHttp;
    std::size_t length = 0;
    int status = 0;
    std::string_view body;
};
HttpCut CutHttpAnswer(std::string_view bytes);

// Where the next "HTTP/" starts after the front of `bytes` (or a beginning of it at the very end),
// bounded by `limit`: how much is noise before a possible answer.
std::size_t NoiseBeforeAnswer(std::string_view bytes, std::size_t limit);

// An XML-RPC methodResponse.
struct RpcAnswer {
    bool fault = false;
    std::string faultText;           // the fault's faultString
    bool hasValue = false;           // <param> carries a <value> (which may be empty)
    std::string type;                // "i4", "double", "string", ...; empty for a bare value
    std::string text;                // the scalar's text, entities decoded
    bool array = false;              // the value is an array; its items are in `items`
    std::vector<std::string> items;  // the array's scalar texts
};
// Nothing when `body` is no methodResponse.
std::optional<RpcAnswer> ParseAnswer(std::string_view body);

}  // namespace cat::flrig
