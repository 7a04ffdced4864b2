# Devices of the i386 build: the pc machine with what it makes by default (the
# parallel port, an e1000 network card, vmport), the ORVA board, QEMU's standard
# VGA for comparisons, and the ISA debug ports (debugcon for SeaBIOS's log,
# debug-exit for the benchmark guest).
CONFIG_I440FX=y
CONFIG_ORVA=y
CONFIG_VGA_PCI=y
CONFIG_ISA_DEBUG=y
CONFIG_PARALLEL=y
CONFIG_E1000_PCI=y
CONFIG_VMPORT=y
CONFIG_VMMOUSE=y
