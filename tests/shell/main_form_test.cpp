// The main window itself, made on SDL's offscreen driver: the boxes it shows are its own.
#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/message_box.h"
#include "render/gl_context.h"
#include "shell/main_form.h"
#include "shell/show_shell.h"

namespace zem {
namespace {

TEST(MainFormBoxes, ErrorBoxesAreOwnedByTheMainWindow) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  if (!EnsureSdlVideo(true)) GTEST_SKIP() << "no SDL video";
  struct TBox {
    std::string caption, text;
    SDL_Window* owner;
  };
  std::vector<TBox> boxes;
  SetMessageBoxRoutine([&](uint32_t, const std::string& caption, const std::string& text, SDL_Window* owner) {
    boxes.push_back({caption, text, owner});
  });
  TProcessContext context;
  TShowShell shell(context);
  {
    TMainForm form(context, shell);
    ASSERT_TRUE(form.Create());
    EXPECT_FALSE(form.OpenFirstShow("/nonexistent/zem-show", {}));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kErrorBoxCaption);
    EXPECT_NE(boxes[0].text.find("\"/nonexistent/zem-show\" or"), std::string::npos) << boxes[0].text;
    ASSERT_NE(boxes[0].owner, nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(boxes[0].owner), kDefaultCaption);
  }
  // Without the window the box has no owner again.
  shell.error_box("after");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].owner, nullptr);
  SetMessageBoxRoutine({});
}

}  // namespace
}  // namespace zem
