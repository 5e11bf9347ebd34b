// Import speed: messages per second for a mix of small plain and multipart
// messages, and MB/s for messages with large attachments, each next to GMime
// parsing (and transfer-decoding) the same messages alone.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "platform/mail/gmime_util.h"  // EnsureGMimeInitialized
#include "platform/mail/import.h"

namespace {

std::string Base64Lines(const std::string& data) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t line = 0;
  for (size_t i = 0; i < data.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(data[i]) << 16;
    if (i + 1 < data.size()) v |= static_cast<uint8_t>(data[i + 1]) << 8;
    if (i + 2 < data.size()) v |= static_cast<uint8_t>(data[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < data.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < data.size() ? kAlphabet[v & 63] : '=';
    if (++line == 19) {
      out += "\r\n";
      line = 0;
    }
  }
  return out + "\r\n";
}

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

std::string Envelope(int i, const std::string& content_type) {
  return "Return-Path: <sender" + std::to_string(i) + "@example.com>\r\n"
         "Received: from relay.example.net by mx.example.org; Mon, 3 Mar 2003 10:00:00 +0000\r\n"
         "Message-ID: <msg" + std::to_string(i) + "@example.com>\r\n"
         "From: \"Sender " + std::to_string(i) + "\" <sender" + std::to_string(i) + "@example.com>\r\n"
         "To: \"Reader One\" <one@example.org>, two@example.org\r\n"
         "Cc: =?iso-8859-1?Q?J=FCrgen_M=FCller?= <jm@example.de>\r\n"
         "Subject: RE: =?utf-8?B?UXVhcnRhbHN6YWhsZW4gZsO8ciBNw6Ryeg==?= " + std::to_string(i) + "\r\n"
         "Date: Mon, 3 Mar 2003 10:14:59 -0500\r\n"
         "MIME-Version: 1.0\r\n"
         "X-Priority: 3\r\n"
         "Content-Type: " + content_type + "\r\n";
}

std::string PlainMessage(int i) {
  std::string body;
  for (int line = 0; line < 30; ++line) body += "This is line " + std::to_string(line) + " of a short note, caf\xe9.\r\n";
  return Envelope(i, "text/plain; charset=iso-8859-1") + "Content-Transfer-Encoding: 8bit\r\n\r\n" + body;
}

std::string MultipartMessage(int i) {
  std::string html = "<html><body><p>Hello &amp; welcome</p><img src=\"cid:img1@x\"><table>";
  for (int r = 0; r < 40; ++r) html += "<tr><td>row " + std::to_string(r) + "</td><td>value</td></tr>";
  html += "</table></body></html>";
  return Envelope(i, "multipart/mixed; boundary=\"MIX\"") + "\r\n--MIX\r\n" +
         "Content-Type: multipart/related; boundary=\"REL\"\r\n\r\n--REL\r\n"
         "Content-Type: multipart/alternative; boundary=\"ALT\"\r\n\r\n--ALT\r\n"
         "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
         "Hello =C3=A4 welcome\r\n--ALT\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" + html +
         "\r\n--ALT--\r\n--REL\r\nContent-Type: image/png\r\nContent-ID: <img1@x>\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n" + Base64Lines(RandomBytes(6000, i)) + "--REL--\r\n" +
         "--MIX\r\nContent-Type: application/pdf; name=\"report.pdf\"\r\nContent-Transfer-Encoding: base64\r\n"
         "Content-Disposition: attachment; filename=\"report.pdf\"\r\n\r\n" + Base64Lines(RandomBytes(20000, i + 1)) +
         "--MIX--\r\n";
}

std::string LargeMessage(int i, size_t attachment_bytes) {
  return Envelope(i, "multipart/mixed; boundary=\"MIX\"") + "\r\n--MIX\r\n" +
         "Content-Type: text/plain; charset=us-ascii\r\n\r\nThe archive is attached.\r\n"
         "--MIX\r\nContent-Type: application/zip; name=\"backup.zip\"\r\nContent-Transfer-Encoding: base64\r\n"
         "Content-Disposition: attachment; filename=\"backup.zip\"\r\n\r\n" +
         Base64Lines(RandomBytes(attachment_bytes, i)) + "--MIX--\r\n";
}

// Three small plain messages for each multipart one.
const std::vector<std::string>& Mix() {
  static const std::vector<std::string> mix = [] {
    std::vector<std::string> v;
    for (int i = 0; i < 40; ++i) v.push_back(i % 4 == 3 ? MultipartMessage(i) : PlainMessage(i));
    return v;
  }();
  return mix;
}

const std::vector<std::string>& Large() {
  static const std::vector<std::string> large = {LargeMessage(1, 4 << 20), LargeMessage(2, 8 << 20)};
  return large;
}

size_t TotalBytes(const std::vector<std::string>& v) {
  size_t n = 0;
  for (const auto& s : v) n += s.size();
  return n;
}

void Import(const std::string& m) {
  pst::MessageContent out;
  mail::ImportReport report;
  mail::ImportOptions opts;
  mail::ImportMessage(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(m.data()), m.size()), opts, &out,
                      &report);
  benchmark::DoNotOptimize(out);
}

// What GMime alone does for the same message: parse it and decode every
// leaf part's content (the least any consumer of the parts must do).
void DecodeParts(GMimeObject* obj) {
  if (GMIME_IS_MESSAGE_PART(obj)) {
    GMimeMessage* m = g_mime_message_part_get_message(GMIME_MESSAGE_PART(obj));
    if (m) DecodeParts(g_mime_message_get_mime_part(m));
  } else if (GMIME_IS_MULTIPART(obj)) {
    for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(obj)); ++i) {
      DecodeParts(g_mime_multipart_get_part(GMIME_MULTIPART(obj), i));
    }
  } else if (GMIME_IS_PART(obj)) {
    GMimeStream* sink = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(obj)), sink);
    benchmark::DoNotOptimize(g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(sink))->len);
    g_object_unref(sink);
  }
}

void GMimeParse(const std::string& m, bool decode) {
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(m.data(), m.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
  if (msg) {
    benchmark::DoNotOptimize(g_mime_message_get_subject(msg));
    if (decode) DecodeParts(g_mime_message_get_mime_part(msg));
    g_object_unref(msg);
  }
  g_object_unref(parser);
  g_object_unref(stream);
}

void BM_ImportMix(benchmark::State& state) {
  Mix();  // build the messages before timing
  for (auto _ : state) {
    for (const auto& m : Mix()) Import(m);
  }
  state.SetItemsProcessed(state.iterations() * Mix().size());
  state.SetBytesProcessed(state.iterations() * TotalBytes(Mix()));
}

void BM_GMimeParseMix(benchmark::State& state) {
  mail::EnsureGMimeInitialized();
  Mix();
  for (auto _ : state) {
    for (const auto& m : Mix()) GMimeParse(m, state.range(0) != 0);
  }
  state.SetItemsProcessed(state.iterations() * Mix().size());
  state.SetBytesProcessed(state.iterations() * TotalBytes(Mix()));
}

void BM_ImportLargeAttachments(benchmark::State& state) {
  Large();
  for (auto _ : state) {
    for (const auto& m : Large()) Import(m);
  }
  state.SetItemsProcessed(state.iterations() * Large().size());
  state.SetBytesProcessed(state.iterations() * TotalBytes(Large()));
}

void BM_GMimeParseLargeAttachments(benchmark::State& state) {
  mail::EnsureGMimeInitialized();
  Large();
  for (auto _ : state) {
    for (const auto& m : Large()) GMimeParse(m, state.range(0) != 0);
  }
  state.SetItemsProcessed(state.iterations() * Large().size());
  state.SetBytesProcessed(state.iterations() * TotalBytes(Large()));
}

BENCHMARK(BM_ImportMix)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GMimeParseMix)->ArgName("decode")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportLargeAttachments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GMimeParseLargeAttachments)->ArgName("decode")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
