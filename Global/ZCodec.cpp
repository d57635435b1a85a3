#include "Global/ZCodec.h"

#include <zlib.h>

#include <algorithm>
#include <string>

namespace {

// Deflate never expands by more than this ratio, so a stream of n bytes
// cannot hold more than about n * 1032 bytes of contents.
constexpr uint64_t kMaxInflateRatio = 1032;
// Output room reserved up front for streams that claim a lot.
constexpr size_t kMaxUpfront = 64u << 20;

std::string FaultText(int code, const z_stream* z) {
  const char* text = z && z->msg ? z->msg : zError(code);
  return std::string("zlib: ") + (text ? text : "error");
}

[[noreturn]] void Fail(int code, const z_stream* z) { throw EZlibError(FaultText(code, z)); }

}  // namespace

Bytes ZCompress(const void* data, size_t size, int level, Bytes room) {
  uLongf bound = compressBound(static_cast<uLong>(size));
  Bytes out = std::move(room);
  out.resize(bound);
  int rc = compress2(out.data(), &bound, static_cast<const Bytef*>(data), static_cast<uLong>(size), level);
  if (rc != Z_OK) Fail(rc, nullptr);
  out.resize(bound);
  return out;
}

TZDeflater::TZDeflater() : z_(std::make_unique<z_stream>()) {
  int rc = deflateInit(z_.get(), 9);
  if (rc != Z_OK) Fail(rc, z_.get());
}

TZDeflater::~TZDeflater() { deflateEnd(z_.get()); }

z_stream& TZDeflater::Reset() {
  int rc = deflateReset(z_.get());
  if (rc != Z_OK) Fail(rc, z_.get());
  return *z_;
}

Bytes TZDeflater::Compress(const void* data, size_t size, Bytes room) {
  // Beyond what one call of deflate takes, compress2 hands the data over in
  // parts.
  if (size > (1u << 30)) return ZCompress(data, size, 9, std::move(room));
  uLong bound = compressBound(static_cast<uLong>(size));
  Bytes out = std::move(room);
  out.resize(bound);
  // One call with room for the whole stream, as compress2 makes it.
  z_stream& z = Reset();
  z.next_in = const_cast<Bytef*>(static_cast<const Bytef*>(data));
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(bound);
  int rc = deflate(&z, Z_FINISH);
  if (rc != Z_STREAM_END) Fail(rc == Z_OK ? Z_BUF_ERROR : rc, &z);
  out.resize(z.total_out);
  return out;
}

uint64_t ZInflate(const void* stream, size_t size, size_t limit, Bytes& out, uint64_t countLimit) {
  uint64_t length = 0;
  std::string reason;
  if (!ZInflate(stream, size, limit, out, length, reason, countLimit)) throw EZlibError(reason);
  return length;
}

bool ZInflate(const void* stream, size_t size, size_t limit, Bytes& out, uint64_t& length, std::string& reason,
              uint64_t countLimit) {
  out.clear();
  length = 0;
  z_stream z{};
  int rc = inflateInit(&z);
  if (rc != Z_OK) {
    reason = FaultText(rc, &z);
    return false;
  }

  // Room for the whole contents when the claim is plausible for the stream's
  // size; otherwise the buffer grows with what actually comes out.
  uint64_t plausible = static_cast<uint64_t>(size) * kMaxInflateRatio + 1024;
  out.resize(static_cast<size_t>(std::min<uint64_t>({limit, plausible, kMaxUpfront})));

  uint8_t scratch[16384];
  uint64_t total = 0;
  const Bytef* in = static_cast<const Bytef*>(stream);
  size_t inLeft = size;
  for (;;) {
    if (total < limit && total == out.size())
      out.resize(static_cast<size_t>(std::min<uint64_t>(limit, std::max<uint64_t>(out.size() * 2, 65536))));
    bool keep = total < limit;
    Bytef* dst = keep ? out.data() + total : scratch;
    size_t room = keep ? out.size() - static_cast<size_t>(total) : sizeof scratch;
    z.next_out = dst;
    z.avail_out = static_cast<uInt>(std::min<size_t>(room, 1u << 30));
    uInt outBefore = z.avail_out;
    if (z.avail_in == 0 && inLeft > 0) {
      z.next_in = const_cast<Bytef*>(in);
      z.avail_in = static_cast<uInt>(std::min<size_t>(inLeft, 1u << 30));
      in += z.avail_in;
      inLeft -= z.avail_in;
    }
    rc = inflate(&z, Z_NO_FLUSH);
    total += outBefore - z.avail_out;
    if (rc == Z_STREAM_END || total > countLimit) break;
    if (rc == Z_OK) continue;
    // Z_BUF_ERROR with output room left means the input ran out early.
    if (rc == Z_BUF_ERROR && z.avail_out == 0) continue;
    reason = FaultText(rc == Z_BUF_ERROR ? Z_DATA_ERROR : rc, rc == Z_BUF_ERROR ? nullptr : &z);
    inflateEnd(&z);
    out.clear();
    return false;
  }
  inflateEnd(&z);
  out.resize(static_cast<size_t>(std::min<uint64_t>(total, limit)));
  length = total;
  return true;
}
