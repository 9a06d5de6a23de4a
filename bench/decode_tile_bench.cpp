// DecodeTile over a corpus of 256 map-like 64 x 64 tiles (8 to 32 colours each: smooth regions,
// lines, text-like speckle), against libpng decoding the same tiles stored as 8-bit palette
// PNGs from memory (encoded once in setup). After the runs the throughput of DecodeTile is
// printed as a multiple of libpng's (target: at least 1.0).
#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/timing_reporter.h"
#include "charts/tile_codec.h"

namespace {

using Pixels = std::array<uint8_t, kTilePixels>;

struct Corpus {
  std::vector<std::vector<uint8_t>> tiles;  // EncodeTile output
  std::vector<std::vector<uint8_t>> pngs;
  size_t tile_bytes = 0;
  size_t png_bytes = 0;
  size_t huffman_tiles = 0;
};

void Put(Pixels& image, int x, int y, uint8_t colour) {
  if (x >= 0 && y >= 0 && x < kTileSide && y < kTileSide) image[size_t(y * kTileSide + x)] = colour;
}

// An image-order tile: Voronoi regions of the first colours (land, shallows, depths), a few
// straight lines, and boxes of speckle like small text in the remaining colours.
Pixels MapLikeTile(std::mt19937& rng, int colours) {
  std::vector<uint8_t> palette(128);
  std::iota(palette.begin(), palette.end(), uint8_t{0});
  std::shuffle(palette.begin(), palette.end(), rng);
  palette.resize(size_t(colours));
  std::uniform_int_distribution<int> coord(-16, 79);
  Pixels image;

  struct Seed { int x, y; uint8_t colour; };
  std::vector<Seed> seeds(size_t(std::uniform_int_distribution<int>(2, 5)(rng)));
  for (size_t i = 0; i < seeds.size(); ++i) seeds[i] = {coord(rng), coord(rng), palette[i % 4]};
  for (int y = 0; y < kTileSide; ++y) {
    for (int x = 0; x < kTileSide; ++x) {
      const auto nearest = std::min_element(seeds.begin(), seeds.end(), [&](const Seed& a, const Seed& b) {
        return (a.x - x) * (a.x - x) + (a.y - y) * (a.y - y) < (b.x - x) * (b.x - x) + (b.y - y) * (b.y - y);
      });
      image[size_t(y * kTileSide + x)] = nearest->colour;
    }
  }
  const int lines = std::uniform_int_distribution<int>(1, 4)(rng);
  for (int l = 0; l < lines; ++l) {
    const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
    const uint8_t colour = palette[size_t(4 + l)];
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + 1;
    for (int s = 0; s <= steps; ++s) Put(image, x0 + (x1 - x0) * s / steps, y0 + (y1 - y0) * s / steps, colour);
  }
  // Text: speckle boxes using every remaining colour, dark ink most often.
  std::bernoulli_distribution ink(0.45);
  std::uniform_int_distribution<int> other(7, colours - 1);
  int next_colour = 8;
  const int boxes = std::uniform_int_distribution<int>(1, 3)(rng);
  for (int b = 0; b < boxes; ++b) {
    const int bx = std::uniform_int_distribution<int>(0, 40)(rng);
    const int by = std::uniform_int_distribution<int>(0, 56)(rng);
    for (int y = by; y < by + 7; ++y) {
      for (int x = bx; x < bx + 22; ++x) {
        if (!ink(rng)) continue;
        const uint8_t colour = next_colour < colours ? palette[size_t(next_colour++)]
                               : std::bernoulli_distribution(0.7)(rng) ? palette[7]
                                                                        : palette[size_t(other(rng))];
        Put(image, x, y, colour);
      }
    }
  }
  return image;
}

void WritePng(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

std::vector<uint8_t> EncodePng(const Pixels& image) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, WritePng, nullptr);
  png_set_IHDR(png, info, kTileSide, kTileSide, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::array<png_color, 128> colours;
  for (int i = 0; i < 128; ++i) colours[size_t(i)] = {uint8_t(i), uint8_t(2 * i), uint8_t(255 - i)};
  png_set_PLTE(png, info, colours.data(), int(colours.size()));
  std::array<png_bytep, kTileSide> rows;
  for (int y = 0; y < kTileSide; ++y) rows[size_t(y)] = const_cast<png_bytep>(image.data() + y * kTileSide);
  png_set_rows(png, info, rows.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

struct PngInput {
  const std::vector<uint8_t>* bytes;
  size_t at;
};

void ReadPng(png_structp png, png_bytep data, png_size_t length) {
  auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
  if (in->bytes->size() - in->at < length) png_error(png, "short");
  std::memcpy(data, in->bytes->data() + in->at, length);
  in->at += length;
}

bool DecodePng(const std::vector<uint8_t>& bytes, Pixels& out) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  PngInput input{&bytes, 0};
  png_set_read_fn(png, &input, ReadPng);
  png_read_info(png, info);
  std::array<png_bytep, kTileSide> rows;
  for (int y = 0; y < kTileSide; ++y) rows[size_t(y)] = out.data() + y * kTileSide;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

const Corpus& TheCorpus() {
  static const Corpus corpus = [] {
    Corpus c;
    std::mt19937 rng(2024);
    for (int i = 0; i < 256; ++i) {
      const Pixels image = MapLikeTile(rng, 8 + i % 25);
      Pixels stored;
      ReorderTileRows(image, stored);
      std::vector<uint8_t> tile;
      EncodeTile(stored, tile);
      c.huffman_tiles += tile[0] == 0;
      c.tile_bytes += tile.size();
      c.tiles.push_back(std::move(tile));
      c.pngs.push_back(EncodePng(image));
      c.png_bytes += c.pngs.back().size();
      // Both must give the same pixels, or the comparison means nothing.
      Pixels a, b, image_rows;
      if (!DecodeTile(c.tiles.back(), a) || !DecodePng(c.pngs.back(), b)) std::abort();
      ReorderTileRows(a, image_rows);
      if (image_rows != b) std::abort();
    }
    return c;
  }();
  return corpus;
}

void Finish(benchmark::State& state, size_t encoded_bytes) {
  const int64_t tiles = int64_t(TheCorpus().tiles.size());
  state.SetItemsProcessed(state.iterations() * tiles);
  state.SetBytesProcessed(state.iterations() * tiles * kTilePixels);
  state.counters["encoded_bytes"] = double(encoded_bytes);
}

void BM_DecodeTile(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  Pixels out;
  for (auto _ : state) {
    for (const std::vector<uint8_t>& tile : corpus.tiles) {
      benchmark::DoNotOptimize(DecodeTile(tile, out));
      benchmark::ClobberMemory();
    }
  }
  state.counters["huffman_tiles"] = double(corpus.huffman_tiles);
  Finish(state, corpus.tile_bytes);
}

void BM_LibpngDecode(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  Pixels out;
  for (auto _ : state) {
    for (const std::vector<uint8_t>& png : corpus.pngs) {
      benchmark::DoNotOptimize(DecodePng(png, out));
      benchmark::ClobberMemory();
    }
  }
  Finish(state, corpus.png_bytes);
}

BENCHMARK(BM_DecodeTile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibpngDecode)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  vd::bench::TimingReporter reporter;
  vd::bench::RunBenchmarks(argc, argv, reporter);
  const double ours = reporter.Time("BM_DecodeTile");
  const double png = reporter.Time("BM_LibpngDecode");
  if (ours > 0 && png > 0) {
    std::printf("DecodeTile throughput = %.2f x libpng (target >= 1.0)\n", png / ours);
  }
  return 0;
}
