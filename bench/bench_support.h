#pragma once
// What the benchmark programs share: a user port that nobody answers (every
// question refused, no file chosen) and the demo firm's profile.

#include <optional>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "platform/ui/user_port.h"

namespace kxbench {

class NoUser : public kx::ui::UserPort {
 public:
  kx::ui::Button Ask(kx::ui::BoxKind, const std::string&, const std::vector<kx::ui::Button>&,
                     kx::ui::Button) override {
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

inline void DemoFirm(kx::TAppSettings& s) {
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

}  // namespace kxbench
