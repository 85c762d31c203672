#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

// A throw-away tree shaped like /sys, /dev, /proc and the udev rule directories.
namespace owl::cli::testing {

namespace fs = std::filesystem;

struct FakeMachine {
  FakeMachine() {
    char pattern[] = "/tmp/owlctl-machine-XXXXXX";
    root = ::mkdtemp(pattern);
    for (const char* dir : {"sys/class/tty", "dev", "proc", "etc-rules", "lib-rules"}) {
      fs::create_directories(root / dir);
    }
  }
  ~FakeMachine() { fs::remove_all(root); }
  FakeMachine(const FakeMachine&) = delete;
  FakeMachine& operator=(const FakeMachine&) = delete;

  static void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }

  // A tty whose device link leads to a USB interface below a USB device with these strings;
  // an empty string leaves that file out.
  void add_usb_tty(const std::string& name, const std::string& vid, const std::string& pid,
                   const std::string& manufacturer, const std::string& product,
                   const std::string& serial, bool with_node = true) {
    const fs::path usb = root / "sys" / "devices" / "pci0" / "usb1" / ("1-" + name);
    const fs::path interface = usb / ("1-" + name + ":1.0");
    fs::create_directories(interface / "tty" / name);
    for (const auto& [file, text] : {std::pair{"idVendor", vid},
                                     {"idProduct", pid},
                                     {"manufacturer", manufacturer},
                                     {"product", product},
                                     {"serial", serial}}) {
      if (!text.empty()) write(usb / file, text + "\n");
    }
    const fs::path entry = root / "sys" / "class" / "tty" / name;
    fs::create_directories(entry);
    fs::create_directory_symlink(interface, entry / "device");
    if (with_node) write(root / "dev" / name, "");
  }

  // A tty without a device link, like the virtual consoles.
  void add_virtual_tty(const std::string& name) {
    fs::create_directories(root / "sys" / "class" / "tty" / name);
    write(root / "dev" / name, "");
  }

  void add_process(int pid, const std::string& comm) {
    write(root / "proc" / std::to_string(pid) / "comm", comm + "\n");
  }

  void install_rule() { write(root / "lib-rules" / "70-owl-units.rules", "# rule\n"); }

  fs::path root;
};

}  // namespace owl::cli::testing
