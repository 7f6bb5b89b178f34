// Every step of a file-replacing operation made to fail in turn, as a full
// disk or a broken device would: the old file stays whole, nothing partial or
// private is left, and the message is Polish.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "editor/line_breaks.h"
#include "fixtures/v7m_fixture.h"
#include "jpk/files/jpkTools.h"
#include "platform/error.h"
#include "platform/file_faults.h"
#include "platform/temp_file.h"
#include "platform/xml/xml_document.h"
#include "support/scripted_user_port.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kx;
namespace fs = std::filesystem;

namespace {

const char* StepName(FileStep step) {
  switch (step) {
    case FileStep::Create: return "create";
    case FileStep::Write: return "write";
    case FileStep::Sync: return "sync";
    case FileStep::Close: return "close";
    case FileStep::Rename: return "rename";
    case FileStep::Copy: return "copy";
  }
  return "?";
}

// Files left in the folder and its backup folder that are not the user's.
std::string Leftovers(const fs::path& dir) {
  std::string found;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("_tmp_V7M", 0) == 0 || e.path().extension() == ".tmp") found += name + " ";
  }
  return found;
}

struct Operation {
  const char* name;
  // Lays the files out in the folder; returns the file that is replaced.
  std::function<fs::path(const kxtest::TempDir&)> setUp;
  std::function<void(const fs::path& file, kxtest::ScriptedUserPort& port)> run;
};

std::string ReadAll(const fs::path& p) { return kxtest::ReadFile(p); }

}  // namespace

TEST(SaveFaults, EveryFailingStepLeavesTheOldFileWhole) {
  const std::string records = kxtest::Sale(3, "<K_19>100</K_19><K_20>23</K_20>", "5260250274", "Sklep\r\nPod Lipami") +
                              kxtest::SaleCtrl(1, "23");
  const Operation operations[] = {
      {"save over an older file", [](const kxtest::TempDir& dir) { return dir.Write("luty.xml", "starsza wersja"); },
       [&](const fs::path& file, kxtest::ScriptedUserPort&) {
         auto root = jpk::v7m::GetJPKRoot(xml::XmlDocument::FromString(kxtest::V7MFile(records)));
         jpk::SaveV7MFile(root, file.string());
       }},
      {"namespace prefix repair",
       [](const kxtest::TempDir& dir) {
         fs::copy_file(kxtest::SharedDir() / "samples" / "JPK_V7M" / "jpk_v7m3_tns_prefix_uti-kb_example.xml",
                       dir / "tns.xml");
         return dir / "tns.xml";
       },
       [](const fs::path& file, kxtest::ScriptedUserPort& port) {
         AppContext ctx(port);
         port.answers = {ui::Button::Yes};
         auto root = jpk::v7m::LoadJPK(file.string());
         jpk::RepairV7MPrefixes(ctx, root, file.string());
       }},
      {"JPK_FA saved whole", [](const kxtest::TempDir& dir) { return dir.Write("fa.xml", "starsza wersja"); },
       [](const fs::path& file, kxtest::ScriptedUserPort&) {
         auto fa = jpk::fa::LoadJPKFA(kxtest::SharedDir() / "samples" / "JPK_FA" / "jpk_fa4_synthetic_default_ns.xml");
         jpk::SaveFAFile(fa, file.string());
       }},
      {"JPK_MAG saved whole", [](const kxtest::TempDir& dir) { return dir.Write("mag.xml", "starsza wersja"); },
       [](const fs::path& file, kxtest::ScriptedUserPort&) {
         auto mag =
             jpk::mag::LoadJPKMAG(kxtest::SharedDir() / "samples" / "JPK_MAG" / "jpk_mag1_synthetic_default_ns.xml");
         jpk::SaveMAGFile(mag, file.string());
       }},
      {"JPK_KR saved whole", [](const kxtest::TempDir& dir) { return dir.Write("kr.xml", "starsza wersja"); },
       [](const fs::path& file, kxtest::ScriptedUserPort&) {
         auto kr = jpk::kr::LoadJPKKR(kxtest::SharedDir() / "samples" / "JPK_KR" / "jpk_kr1_synthetic_default_ns.xml");
         jpk::SaveKRFile(kr, file.string());
       }},
      {"JPK_KR written as it is made", [](const kxtest::TempDir& dir) { return dir.Write("kr.xml", "starsza wersja"); },
       [](const fs::path& file, kxtest::ScriptedUserPort&) {
         auto sample =
             jpk::kr::LoadJPKKR(kxtest::SharedDir() / "samples" / "JPK_KR" / "jpk_kr1_synthetic_default_ns.xml");
         jpk::KRFileWriter out(file.string());
         jpk::PrepareKRDocument(out.Root());
         for (xml::XmlNode child = sample.Node().FirstChild(); !child.IsNull(); child = child.NextSibling()) {
           out.Root().Node().AppendChild(out.Root().OwnerDocument().ImportNode(child, true));
           out.Write();
         }
         out.Finish();
         out.Place();
       }},
      {"text file replaced whole", [](const kxtest::TempDir& dir) { return dir.Write("kx2sage.txt", "stary"); },
       [](const fs::path& file, kxtest::ScriptedUserPort&) { ReplaceFileWhole(file, "INFO{\r\n}\r\n"); }},
      {"line-break clean-up",
       [&](const kxtest::TempDir& dir) { return dir.Write("split.xml", kxtest::V7MFile(records)); },
       [](const fs::path& file, kxtest::ScriptedUserPort& port) { editor::CleanLineBreaks(file.string(), port); }},
  };

  for (const Operation& op : operations) {
    SCOPED_TRACE(op.name);
    // The steps of an undisturbed run, counted.
    std::map<FileStep, int> steps;
    {
      kxtest::TempDir dir;
      kxtest::ScriptedUserPort port;
      const fs::path file = op.setUp(dir);
      SetFileFaultHook([&](FileStep s) {
        ++steps[s];
        return 0;
      });
      op.run(file, port);
      SetFileFaultHook(nullptr);
      EXPECT_EQ(Leftovers(dir.Path()), "");
    }
    ASSERT_FALSE(steps.empty());
    for (const auto& [step, count] : steps) {
      for (int failing = 1; failing <= count; ++failing) {
        SCOPED_TRACE(std::string(StepName(step)) + " #" + std::to_string(failing));
        kxtest::TempDir dir;
        kxtest::ScriptedUserPort port;
        const fs::path file = op.setUp(dir);
        const std::string before = ReadAll(file);
        int seen = 0;
        SetFileFaultHook([&, step = step](FileStep s) { return s == step && ++seen == failing ? ENOSPC : 0; });
        std::string message;
        try {
          op.run(file, port);
        } catch (const Error& e) {
          message = e.what();
        }
        SetFileFaultHook(nullptr);
        EXPECT_EQ(message.rfind("Nie ", 0), 0u) << message;
        if (step != FileStep::Copy) {
          EXPECT_NE(message.find("brak miejsca na dysku"), std::string::npos) << message;
          EXPECT_NE(message.find(file.filename().string()), std::string::npos) << message;
        }
        EXPECT_EQ(ReadAll(file), before);
        EXPECT_EQ(Leftovers(dir.Path()), "");
      }
    }
  }
}
