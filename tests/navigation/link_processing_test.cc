// Record links followed from a report page.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nimbo/nimbo.h"

namespace nimbo {
namespace {

class LinkEvents : public Events {
 public:
  void LogIt(const std::string& type, const std::string& narration) override {
    log.push_back(type + "|" + narration);
  }
  void OpenForm(const Variant& form, const Variant& id) override {
    log.push_back("OpenForm|" + form.ToText() + "|" + id.ToText());
  }
  std::vector<std::string> log;
};

TEST(ProcessURLTest, LinksAndOtherAddresses) {
  const struct {
    Variant url;
    bool handled;
    std::vector<std::string> events;
  } cases[] = {
      {"file:///srv/app/oDatNav.htm#^000120000000042",
       true,
       {"Form|Form #:00012,  ID=0000000042", "OpenForm|00012|0000000042"}},
      {"/srv/app/oDatNav.htm", false, {}},
      {"^12", true, {"Form|Form #:12,  ID=", "OpenForm|12|"}},
      // Everything after the first marker is split, a second marker included.
      {"x^00012^42", true, {"Form|Form #:00012,  ID=^42", "OpenForm|00012|^42"}},
      // Characters, not bytes: the form part never ends inside a character.
      {"^\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9" "7",
       true,
       {"Form|Form #:\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9,  ID=7",
        "OpenForm|\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9|7"}},
      {Variant::Null(), false, {}},
      {Variant(), false, {}},
  };
  for (const auto& c : cases) {
    auto events = std::make_shared<LinkEvents>();
    Nimbo control(std::make_shared<RunTimeContainer>(), events);
    EXPECT_EQ(control.ProcessURL(c.url), c.handled);
    EXPECT_EQ(events->log, c.events);
  }
}

}  // namespace
}  // namespace nimbo
