#pragma once
// What the benchmark programs share: a user port that nobody answers (every
// question refused, no file chosen), the demo firm's profile, and the phase
// timer that prints each phase's time and the peak memory so far.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "platform/ui/user_port.h"

namespace kxbench {

class NoUser : public kx::ui::UserPort {
 public:
  kx::ui::Button Ask(kx::ui::BoxKind, const std::string&, const std::vector<kx::ui::Button>&, kx::ui::Button) override {
    return kx::ui::Button::No;
  }
  void Show(kx::ui::BoxKind, const std::string&) override {}
  std::optional<std::string> ChooseSaveFile(kx::ui::FileDialogState&) override { return std::nullopt; }
  std::optional<std::string> ChooseOpenFile(kx::ui::FileDialogState&) override { return std::nullopt; }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { return std::nullopt; }
  void ShowWait(const std::string&) override {}
  void HideWait() override {}
  void BeginBusy() override {}
  void EndBusy() override {}
};

inline void DemoFirm(kx::AppSettings& s) {
  s.NIP = "7270120002";
  s.Nazwa = "Hurtownia Spożywcza Żuraw Sp. z o.o.";
  s.Email = "biuro@hurtownia-zuraw.pl";
  s.Regon = "470123450";
  s.Wojewodztwo = "łódzkie";
  s.Powiat = s.Gmina = s.Miasto = s.Poczta = "Łódź";
  s.Ulica = "Piotrkowska";
  s.NrDomu = "120";
  s.KodPocztowy = "90-006";
  s.USCode = "1009";
  s.NazwaSystemu = "kx2jpk";
  s.CurDate = {2026, 11, 1};
}

class Phases {
 public:
  void Mark(const char* name) {
    auto now = Clock::now();
    std::printf("  %-34s %8.3f s   peak so far %8.1f MB\n", name, std::chrono::duration<double>(now - m_last).count(),
                PeakMb());
    m_last = now;
  }
  ~Phases() { std::printf("  %-34s %8.1f MB\n", "peak memory", PeakMb()); }

 private:
  using Clock = std::chrono::steady_clock;
  static double PeakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024;
  }
  Clock::time_point m_last = Clock::now();
};

}  // namespace kxbench
