// The C interface over the board: a handle owns one Board, its scanout buffer and
// its output files. Every entry point catches what the board may throw.
#include "orva_board.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "board.h"
#include "scanout.h"
#include "trace.h"
#include "vcd.h"

using orva::board::Board;
using orva::board::BoardConfig;
using orva::board::TraceEvent;

struct orva_board {
  BoardConfig config;
  std::unique_ptr<Board> board;
  std::string error;
  std::vector<uint32_t> pixels;
  uint64_t generation = 0;
  uint32_t gbase = 0;
  uint16_t tftBase = 0;
  orva_board_layout_fn layoutFn = nullptr;
  void* layoutOpaque = nullptr;
  std::FILE* traceFile = nullptr;
  std::string tracePath;
  bool traceFailed = false;
  std::string vcdPath;
};

namespace {

constexpr size_t kTraceBuffer = 1 << 16;

void copyError(const std::string& message, char* error, size_t size) {
  if (error == nullptr || size == 0) return;
  std::snprintf(error, size, "%s", message.c_str());
}

std::string osError(const std::string& path) { return path + ": " + std::strerror(errno); }

void streamTrace(orva_board* h) {
  Board& board = *h->board;
  board.trace().setRecording(false);
  board.trace().setSink([h](const TraceEvent& event) {
    if (h->traceFile == nullptr || h->traceFailed) return;
    std::string line = orva::board::Trace::toJson(event);
    line += '\n';
    if (std::fwrite(line.data(), 1, line.size(), h->traceFile) != line.size()) {
      h->traceFailed = true;
      h->error = osError(h->tracePath);
    }
  });
}

// After a bus access: count what may change the picture, and tell the owner
// when the windows or the relocatable ports moved.
void afterWrite(orva_board* h) {
  ++h->generation;
  const uint32_t gbase = h->board->gbase();
  const uint16_t tftBase = h->board->tftBasePort();
  if (gbase == h->gbase && tftBase == h->tftBase) return;
  h->gbase = gbase;
  h->tftBase = tftBase;
  if (h->layoutFn != nullptr) h->layoutFn(h, h->layoutOpaque);
}

bool validWidth(unsigned width) { return width == 8 || width == 16 || width == 32; }

uint32_t pciAddress(unsigned device, unsigned function, unsigned reg) {
  return 0x80000000u | (device & 0x1F) << 11 | (function & 0x07) << 8 | (reg & 0xFC);
}

// Runs `body`, turning any exception into the handle's error and `fallback`.
template <typename T, typename F>
T guarded(orva_board* h, T fallback, F body) {
  try {
    return body();
  } catch (const std::exception& e) {
    h->error = e.what();
  } catch (...) {
    h->error = "unknown failure";
  }
  return fallback;
}

int closeTrace(orva_board* h) {
  if (h->traceFile == nullptr) return 0;
  const bool ok = std::fclose(h->traceFile) == 0 && !h->traceFailed;
  if (!ok && !h->traceFailed) h->error = osError(h->tracePath);
  h->traceFile = nullptr;
  h->traceFailed = false;
  return ok ? 0 : -1;
}

int writeVcd(orva_board* h) {
  if (h->vcdPath.empty()) return 0;
  const std::string text = orva::board::i2cVcd(h->board->i2c());
  std::FILE* f = std::fopen(h->vcdPath.c_str(), "w");
  if (f == nullptr) {
    h->error = osError(h->vcdPath);
    return -1;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) {
    h->error = osError(h->vcdPath);
    return -1;
  }
  return 0;
}

}  // namespace

extern "C" {

void orva_board_config_init(orva_board_config* config) {
  const BoardConfig defaults;
  config->chip = "bramble";
  config->memory_bytes = defaults.memoryBytes;
  config->gbase = defaults.gbase;
  config->tft_base_port = defaults.tftBasePort;
  config->superio_e1 = defaults.superIoE1;
  config->tv_encoder_present = defaults.tvEncoderPresent ? 1 : 0;
}

orva_board* orva_board_new(const orva_board_config* config, char* error, size_t error_size) {
  try {
    if (config == nullptr) throw std::invalid_argument("no board settings");
    BoardConfig c;
    std::string chip = config->chip != nullptr ? config->chip : "bramble";
    for (char& c : chip) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::optional<orva::board::Variant> variant = orva::board::parseVariant(chip);
    if (!variant) {
      std::string known;
      for (orva::board::Variant v : orva::board::kAllVariants)
        known += (known.empty() ? "" : ", ") + std::string(orva::board::variantName(v));
      throw std::invalid_argument("unknown chip '" + chip + "' (" + known + ")");
    }
    c.variant = *variant;
    c.memoryBytes = config->memory_bytes;
    c.gbase = config->gbase;
    c.tftBasePort = config->tft_base_port;
    c.superIoE1 = config->superio_e1;
    c.tvEncoderPresent = config->tv_encoder_present != 0;
    auto h = std::make_unique<orva_board>();
    h->config = c;
    h->board = std::make_unique<Board>(c);
    h->gbase = h->board->gbase();
    h->tftBase = h->board->tftBasePort();
    streamTrace(h.get());
    return h.release();
  } catch (const std::exception& e) {
    copyError(e.what(), error, error_size);
  } catch (...) {
    copyError("unknown failure", error, error_size);
  }
  return nullptr;
}

void orva_board_free(orva_board* h) {
  if (h == nullptr) return;
  orva_board_flush(h);
  closeTrace(h);
  delete h;
}

const char* orva_board_error(const orva_board* h) { return h->error.c_str(); }

void orva_board_reset(orva_board* h) {
  guarded(h, 0, [&] {
    h->board->reset(h->config);
    streamTrace(h);
    afterWrite(h);
    return 0;
  });
}

uint32_t orva_board_in(orva_board* h, unsigned width, uint32_t port) {
  if (!validWidth(width)) return 0xFFFFFFFFu;
  return guarded(h, 0xFFFFFFFFu, [&] { return h->board->in(width, port); });
}

void orva_board_out(orva_board* h, unsigned width, uint32_t port, uint32_t value) {
  if (!validWidth(width)) return;
  guarded(h, 0, [&] {
    h->board->out(width, port, value);
    afterWrite(h);
    return 0;
  });
}

uint32_t orva_board_read(orva_board* h, unsigned width, uint64_t physical) {
  if (!validWidth(width)) return 0xFFFFFFFFu;
  return guarded(h, 0xFFFFFFFFu, [&] { return h->board->read(width, physical); });
}

void orva_board_write(orva_board* h, unsigned width, uint64_t physical, uint32_t value) {
  if (!validWidth(width)) return;
  guarded(h, 0, [&] {
    h->board->write(width, physical, value);
    afterWrite(h);
    return 0;
  });
}

uint32_t orva_board_pci_read(orva_board* h, unsigned device, unsigned function, unsigned reg,
                             unsigned width) {
  if (!validWidth(width) || reg > 0xFF) return 0xFFFFFFFFu;
  orva_board_out(h, 32, 0xCF8, pciAddress(device, function, reg));
  return orva_board_in(h, width, 0xCFC + (reg & 3));
}

void orva_board_pci_write(orva_board* h, unsigned device, unsigned function, unsigned reg,
                          unsigned width, uint32_t value) {
  if (!validWidth(width) || reg > 0xFF) return;
  orva_board_out(h, 32, 0xCF8, pciAddress(device, function, reg));
  orva_board_out(h, width, 0xCFC + (reg & 3), value);
}

int orva_board_pci_present(const orva_board* h, unsigned device, unsigned function) {
  if (device > 0x1F || function > 7) return 0;
  return h->board->pciConfig(pciAddress(device, function, 0)) != 0xFFFFFFFFu;
}

uint8_t* orva_board_vram(orva_board* h) { return h->board->vram(); }

size_t orva_board_vram_size(const orva_board* h) {
  // A board without memory still has its one page.
  const size_t bytes = h->board->vramSize();
  return bytes != 0 ? bytes : static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

uint32_t orva_board_gbase(const orva_board* h) { return h->board->gbase(); }
uint16_t orva_board_tft_base_port(const orva_board* h) { return h->board->tftBasePort(); }

int orva_board_decodes_tft_ports(const orva_board* h) { return h->board->decodesTftPorts(); }
int orva_board_has_super_io(const orva_board* h) { return h->board->hasSuperIo(); }

void orva_board_on_layout_change(orva_board* h, orva_board_layout_fn fn, void* opaque) {
  h->layoutFn = fn;
  h->layoutOpaque = opaque;
}

uint64_t orva_board_state_generation(const orva_board* h) { return h->generation; }

const uint32_t* orva_board_scanout(orva_board* h, unsigned* width, unsigned* height) {
  *width = 0;
  *height = 0;
  return guarded(h, static_cast<const uint32_t*>(nullptr), [&]() -> const uint32_t* {
    const orva::board::Scanout shot = orva::board::scanout(*h->board);
    if (!shot.ok) {
      h->error = shot.error;
      return nullptr;
    }
    const orva::board::Image& image = shot.image;
    h->pixels.resize(size_t{image.width} * image.height);
    const uint8_t* rgb = image.rgb.data();
    for (uint32_t& pixel : h->pixels) {
      pixel = uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
      rgb += 3;
    }
    *width = image.width;
    *height = image.height;
    return h->pixels.data();
  });
}

int orva_board_set_trace_file(orva_board* h, const char* path) {
  if (closeTrace(h) != 0) return -1;
  if (path == nullptr) return 0;
  std::FILE* f = std::fopen(path, "w");
  if (f == nullptr) {
    h->error = osError(path);
    return -1;
  }
  std::setvbuf(f, nullptr, _IOFBF, kTraceBuffer);
  h->traceFile = f;
  h->tracePath = path;
  return 0;
}

int orva_board_set_vcd_file(orva_board* h, const char* path) {
  h->vcdPath = path != nullptr ? path : "";
  return writeVcd(h);
}

int orva_board_flush(orva_board* h) {
  int status = 0;
  if (h->traceFile != nullptr && (std::fflush(h->traceFile) != 0 || h->traceFailed)) {
    if (!h->traceFailed) h->error = osError(h->tracePath);
    h->traceFailed = true;
    status = -1;
  }
  return guarded(h, -1, [&] { return writeVcd(h); }) != 0 ? -1 : status;
}

uint64_t orva_board_undecoded(const orva_board* h) {
  return h->board->trace().counters().undecoded;
}

uint64_t orva_board_virtual_time_ns(const orva_board* h) { return h->board->virtualTimeNs(); }

}  // extern "C"
