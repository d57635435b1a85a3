#include "Global/ZBlocks.h"

#include <zlib.h>

#include <algorithm>
#include <utility>

namespace {

[[noreturn]] void Fail(const z_stream& z, int code) {
  const char* text = z.msg ? z.msg : zError(code);
  throw EZlibError(std::string("zlib: ") + (text ? text : "error"));
}

}  // namespace

uint64_t ZBlockCount(uint64_t size) { return UsesZBlocks(size) ? (size + kZBlockSize - 1) / kZBlockSize : 1; }

TZBlockSpan ZBlockSpan(uint64_t size, uint64_t index) {
  TZBlockSpan span;
  span.Begin = std::min<uint64_t>(index * kZBlockSize, size);
  span.End = std::min<uint64_t>(span.Begin + kZBlockSize, size);
  span.Dictionary = span.Begin - std::min<uint64_t>(span.Begin, kZDictionarySize);
  span.Last = span.End == size;
  return span;
}

TZBlockCoder::TZBlockCoder() : z_(std::make_unique<z_stream>()) {
  // Raw deflate: the joiner writes the one header and trailer of the stream.
  // Level, window and memory as ZCompress has them.
  int rc = deflateInit2(z_.get(), 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  if (rc != Z_OK) Fail(*z_, rc);
}

TZBlockCoder::~TZBlockCoder() { deflateEnd(z_.get()); }

TZBlock TZBlockCoder::Code(const uint8_t* data, size_t dictionary, size_t size, bool last, TBufferPool* buffers) {
  z_stream& z = *z_;
  int rc = deflateReset(&z);
  if (rc == Z_OK && dictionary > 0) rc = deflateSetDictionary(&z, data, static_cast<uInt>(dictionary));
  if (rc != Z_OK) Fail(z, rc);
  TZBlock block;
  block.Length = size - dictionary;
  block.Adler = static_cast<uint32_t>(adler32_z(1, data + dictionary, block.Length));
  // Room for the worst case and the flush marker; grown should zlib need more.
  const size_t room = deflateBound(&z, static_cast<uLong>(block.Length)) + 16;
  if (buffers)
    block.Data = buffers->Take(room);
  else
    block.Data.resize(room);
  z.next_in = const_cast<Bytef*>(data + dictionary);
  z.avail_in = static_cast<uInt>(block.Length);
  // A sync flush ends the block on a byte boundary with every match inside
  // it, so the next block's data may follow directly.
  int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
  for (;;) {
    if (z.total_out == block.Data.size()) block.Data.resize(block.Data.size() * 2);
    z.next_out = block.Data.data() + z.total_out;
    z.avail_out = static_cast<uInt>(block.Data.size() - z.total_out);
    rc = deflate(&z, flush);
    if (rc == Z_STREAM_END || (rc == Z_OK && !last && z.avail_in == 0 && z.avail_out > 0)) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) Fail(z, rc);
  }
  block.Data.resize(z.total_out);
  return block;
}

const uint8_t TZBlockJoin::kHeader[kHeaderSize] = {0x78, 0xDA};

void TZBlockJoin::Add(const TZBlock& block) {
  adler_ = static_cast<uint32_t>(adler32_combine(adler_, block.Adler, static_cast<z_off_t>(block.Length)));
}

void TZBlockJoin::Trailer(uint8_t out[kTrailerSize]) const {
  for (size_t i = 0; i < kTrailerSize; ++i) out[i] = static_cast<uint8_t>(adler_ >> (8 * (kTrailerSize - 1 - i)));
}

Bytes TBufferPool::Take(size_t size) {
  Bytes buffer;
  {
    std::lock_guard<std::mutex> hold(lock_);
    // The latest handed back that holds them (its memory is the most
    // likely still in the cache), else the latest.
    auto best = std::find_if(free_.rbegin(), free_.rend(), [size](const Bytes& b) { return b.capacity() >= size; });
    if (best == free_.rend() && !free_.empty()) best = free_.rbegin();
    if (best != free_.rend()) {
      buffer = std::move(*best);
      free_.erase(std::next(best).base());
    }
  }
  buffer.resize(size);
  return buffer;
}

void TBufferPool::Give(Bytes&& buffer) {
  if (buffer.capacity() == 0) return;
  buffer.clear();
  std::lock_guard<std::mutex> hold(lock_);
  if (free_.size() < most_) free_.push_back(std::move(buffer));
}

TZBlockStream::TZBlockStream(uint64_t size, Sink sink) : size_(size), sink_(std::move(sink)) {
  if (UsesZBlocks(size_)) {
    coder_ = std::make_unique<TZBlockCoder>();
    window_.reserve(kZDictionarySize + kZBlockSize);
  }
}

bool TZBlockStream::Add(const uint8_t* data, size_t size) {
  if (size > size_ - added_) ok_ = false;
  while (ok_ && size > 0) {
    // Up to the threshold the contents are kept for the one whole-file stream.
    size_t room = coder_ ? dictionary_ + kZBlockSize - window_.size() : size;
    size_t n = std::min(room, size);
    window_.insert(window_.end(), data, data + n);
    data += n;
    size -= n;
    added_ += n;
    if (coder_ && (window_.size() == dictionary_ + kZBlockSize || added_ == size_)) ok_ = Code(added_ == size_);
  }
  return ok_;
}

bool TZBlockStream::Code(bool last) {
  if (!begun_ && !sink_(TZBlockJoin::kHeader, TZBlockJoin::kHeaderSize)) return false;
  begun_ = true;
  TZBlock block = coder_->Code(window_.data(), dictionary_, window_.size(), last);
  join_.Add(block);
  if (!sink_(block.Data.data(), block.Data.size())) return false;
  // The next block looks back into this one.
  dictionary_ = std::min(window_.size(), kZDictionarySize);
  window_.erase(window_.begin(), window_.end() - static_cast<ptrdiff_t>(dictionary_));
  return true;
}

bool TZBlockStream::Finish() {
  if (!ok_ || added_ != size_) return false;
  if (!coder_) {
    Bytes stream = ZCompress(window_.data(), window_.size());
    return sink_(stream.data(), stream.size());
  }
  uint8_t trailer[TZBlockJoin::kTrailerSize];
  join_.Trailer(trailer);
  return sink_(trailer, sizeof trailer);
}

Bytes ZCompressContents(const void* data, size_t size, TBufferPool* buffers, TZDeflater* deflater) {
  if (!UsesZBlocks(size)) {
    Bytes room = buffers ? buffers->Take(compressBound(static_cast<uLong>(size))) : Bytes();
    return deflater ? deflater->Compress(data, size, std::move(room)) : ZCompress(data, size, 9, std::move(room));
  }
  Bytes stream;
  TZBlockStream blocks(size, [&stream](const uint8_t* piece, size_t n) {
    stream.insert(stream.end(), piece, piece + n);
    return true;
  });
  blocks.Add(static_cast<const uint8_t*>(data), size);
  blocks.Finish();
  return stream;
}
