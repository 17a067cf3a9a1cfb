// The text queue's life in a play: every brain step starts from an empty queue, so a frame shows
// the prints of the last tick only, and the prints a step makes are there for the frame after it.
#include <gtest/gtest.h>

#include <memory>

#include "app/app.h"
#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "model/model.h"
#include "state/state.h"

namespace {

TEST(PlayText, EveryBrainStepStartsWithAnEmptyQueueAndKeepsItsOwnPrints) {
  state::Engine engine;
  ASSERT_TRUE(engine.arena.Create());
  engine.play = std::make_unique<state::Play>();
  state::Play& play = *engine.play;
  ASSERT_TRUE(brain::BeginCompilation(&play.compiler, &engine.arena));
  auto* record = engine.arena.As<int32_t>(core::Region::kElementRecords);
  record[model::kWordBrainEntry] = static_cast<int32_t>(play.compiler.code.Address());
  record[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  // Prints once a step, then once more on every second step.
  brain::CompileBrainText(&play.compiler,
                          "var n\r\nvar odd\r\nn = n + 1\r\nodd = 1 - odd\r\nprint(\"Tick\", 0, n, 0)\r\n"
                          "if odd < 1\r\nprint_num(n, 0, 0, 0, 0)\r\nendif\r\n");
  ASSERT_TRUE(play.compiler.error.empty()) << play.compiler.error;
  instructions::SetUpBrains(engine, 0);
  // What a frame drew before the first step is gone when it starts.
  play.text.queue.QueueNumber(0, 0, 0, 1, 2, 3);
  for (int step = 1; step <= 4; ++step) {
    app::RunBrainStep(engine);
    ASSERT_FALSE(play.brains.faulted);
    EXPECT_EQ(play.text.queue.Used(), step % 2 == 0 ? 17 : 8) << step;
    EXPECT_EQ(play.text.queue.Words()[3], step) << step;  // this step's x
  }
}

}  // namespace
