// The scripted answers that GUI and engine tests rely on.
#include "ScriptedPrompts.h"

#include <gtest/gtest.h>

using namespace larderly;

TEST(ScriptedPrompts, AnswersInOrderAndRecordsSurprises) {
    ScriptedPrompts p;
    p.answer(PromptAnswer::Yes, "Delete").AnswerInput(std::string("Soups"), "Book");
    EXPECT_EQ(p.Message(PromptKind::Confirmation, "Delete this recipe?", PromptButtons::YesNo, {}),
              PromptAnswer::Yes);
    EXPECT_EQ(p.Input("New Book", "Book name", {}), "Soups");
    EXPECT_TRUE(p.done());
    EXPECT_THROW(p.Message(PromptKind::Information, "surprise", PromptButtons::Ok, {}),
                 UnexpectedPrompt);
    ASSERT_EQ(p.failures().size(), 1u);

    ScriptedPrompts q;
    q.answer(PromptAnswer::No, "Save");
    EXPECT_THROW(q.Message(PromptKind::Confirmation, "Delete?", PromptButtons::YesNo, {}),
                 UnexpectedPrompt);
}
