/* The emulated ORVA board behind a C interface, for emulators written in C.
 *
 * One handle is one board: its register files, display memory and bus trace,
 * exactly as the C++ board (board.h) models them. Every call is safe to make
 * with any argument values: an access the board does not decode answers all
 * ones and is traced as undecoded, a bad width is refused, and no C++
 * exception leaves this interface. Functions that can fail return 0 on
 * success and -1 on failure, with the reason in orva_board_error().
 *
 * Threads: a handle is not shared between threads without a lock of the
 * caller's. */
#ifndef ORVA_BOARD_C_H
#define ORVA_BOARD_C_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct orva_board orva_board;

/* The board's straps and fittings, as `orvasim` takes them. */
typedef struct orva_board_config {
  const char* chip;       /* variant name, any case: "bramble" (default), "kestrel", ... */
  uint32_t memory_bytes;  /* display memory: a multiple of 128 KB, at most 8064 KB */
  uint8_t gbase;          /* CRTC 0x20 at power-up: graphics base bits 31-24 (OR 0x08) */
  uint16_t tft_base_port; /* configuration 0x1D/0x1E at power-up (Mistral decodes it) */
  uint8_t superio_e1;     /* Super I/O logical device 8 register 0xE1 straps */
  int tv_encoder_present; /* non-zero: the external I2C TV encoder answers */
} orva_board_config;

/* The settings of a board that `orvasim` boots without options. */
void orva_board_config_init(orva_board_config* config);

/* NULL on a bad setting or when the display memory cannot be made; the reason
 * (one line, no trailing newline) is written to `error` when it is not NULL. */
orva_board* orva_board_new(const orva_board_config* config, char* error, size_t error_size);
void orva_board_free(orva_board* board);

/* The reason the last failing call of this handle gave. */
const char* orva_board_error(const orva_board* board);

/* The board powered up again with the settings it was made with. Display memory
 * keeps its address and size (every byte zero again); the trace and VCD files
 * stay open and the trace goes on recording. */
void orva_board_reset(orva_board* board);

/* Bus accesses; width is 8, 16 or 32 (others: the read answers all ones and
 * nothing is traced). Ports of 8-bit devices take a wider access byte by byte
 * at consecutive ports, as the board's bus does. */
uint32_t orva_board_in(orva_board* board, unsigned width, uint32_t port);
void orva_board_out(orva_board* board, unsigned width, uint32_t port, uint32_t value);
uint32_t orva_board_read(orva_board* board, unsigned width, uint64_t physical);
void orva_board_write(orva_board* board, unsigned width, uint64_t physical, uint32_t value);

/* PCI configuration space of the board's functions (bus 0), reached the way a
 * host bridge reaches it with configuration mechanism #1: the board sees the
 * address written to 0xCF8 and then the data access at 0xCFC + (reg & 3), both
 * traced as such. `reg` is the byte offset 0-255; width 8, 16 or 32. */
uint32_t orva_board_pci_read(orva_board* board, unsigned device, unsigned function, unsigned reg,
                             unsigned width);
void orva_board_pci_write(orva_board* board, unsigned device, unsigned function, unsigned reg,
                          unsigned width, uint32_t value);
/* Whether the board has PCI function device.function on bus 0. */
int orva_board_pci_present(const orva_board* board, unsigned device, unsigned function);

/* Display memory: page-aligned, owned by the board, valid until orva_board_free;
 * orva_board_vram_size() bytes are accessible (a board without memory has one page). */
uint8_t* orva_board_vram(orva_board* board);
size_t orva_board_vram_size(const orva_board* board);

/* Where the board decodes its windows and relocatable ports now. */
uint32_t orva_board_gbase(const orva_board* board);         /* physical base of the window */
uint16_t orva_board_tft_base_port(const orva_board* board); /* the TFT interface's 8 ports */
int orva_board_decodes_tft_ports(const orva_board* board);  /* the variant has them (Mistral) */
int orva_board_has_super_io(const orva_board* board);       /* 0x370/0x371 and 0xEA/0xEB */

/* Called after an access that moved the graphics base or the TFT port block,
 * with the handle and the caller's `opaque`; NULL removes it. The callback may
 * read the board but must not access its bus. */
typedef void (*orva_board_layout_fn)(orva_board* board, void* opaque);
void orva_board_on_layout_change(orva_board* board, orva_board_layout_fn fn, void* opaque);

/* Counts the accesses that may have changed what the display shows (port and
 * register writes, resets): unchanged means the scanout is unchanged unless
 * display memory was written. */
uint64_t orva_board_state_generation(const orva_board* board);

/* The picture the display shows now, cursor overlaid, as 0x00RRGGBB words, rows
 * top to bottom, `*width` words a row. The buffer is the handle's, valid until the
 * next scanout call. NULL when the registers describe no picture (no packed-pixel
 * format, an empty area): the reason is in orva_board_error(). */
const uint32_t* orva_board_scanout(orva_board* board, unsigned* width, unsigned* height);

/* Bus trace to `path` as JSON Lines, in the format `orvasim --trace` writes,
 * from the next event on, each event written as it happens (NULL closes it).
 * The VCD of the I2C lines, in the format `orvasim --vcd` writes, goes to its
 * file when orva_board_flush() or orva_board_free() is called. */
int orva_board_set_trace_file(orva_board* board, const char* path);
int orva_board_set_vcd_file(orva_board* board, const char* path);
/* Writes out what the files lack: buffered trace lines and the VCD. */
int orva_board_flush(orva_board* board);

/* Accesses the board did not decode (frame-buffer accesses beyond the memory
 * among them) since it was made or last reset, and its virtual time. */
uint64_t orva_board_undecoded(const orva_board* board);
uint64_t orva_board_virtual_time_ns(const orva_board* board);

#ifdef __cplusplus
}
#endif

#endif /* ORVA_BOARD_C_H */
