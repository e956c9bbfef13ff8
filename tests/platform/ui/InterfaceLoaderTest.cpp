#include "platform/ui/InterfaceLoader.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include "UiTestSupport.h"

#include <fstream>
#include <string>
#include <vector>

using namespace platform;

namespace {

std::vector<std::string>& journal()
{
    static std::vector<std::string> lines;
    return lines;
}

// A game-like view with outlets and actions.
class GameView : public View {
public:
    GameView() : View(Rect{}) { }
    void setMeter(std::shared_ptr<ImageView> v) { meter = std::move(v); }
    void setStart(std::shared_ptr<Button> b) { start = std::move(b); }
    void clickstart() { journal().push_back("clickstart"); }
    void clickdone(Object& sender)
    {
        journal().push_back(sender.sharedAs<Button>() == start ? "done by start" : "done");
    }
    void awakeFromNib() override
    {
        // Outlets are set by now.
        journal().push_back(std::string("awake ") + (meter ? "meter" : "-") + (start ? " start" : " -"));
    }
    std::shared_ptr<ImageView> meter;
    std::shared_ptr<Button> start;
};

class TestDelegate : public ApplicationDelegate {
public:
    void setWindow(std::shared_ptr<Window> w) { window = std::move(w); }
    void setViewController(std::shared_ptr<ViewController> c) { controller = std::move(c); }
    void applicationDidFinishLaunching(Application&) override
    {
        journal().push_back("didFinishLaunching");
        window->addSubview(controller->view());
        window->makeKeyAndVisible();
    }
    std::shared_ptr<Window> window;
    std::shared_ptr<ViewController> controller;
};

void registerTestClasses()
{
    auto& r = InterfaceRegistry::shared();
    r.registerClass<GameView>("GameView", "View")
        .outlet("meter", &GameView::setMeter)
        .outlet("start", &GameView::setStart)
        .action("clickstart", &GameView::clickstart)
        .action("clickdone", &GameView::clickdone);
    r.registerClass<TestDelegate>("TestDelegate")
        .outlet("window", &TestDelegate::setWindow)
        .outlet("viewController", &TestDelegate::setViewController);
}

const char* kGoodDescription = R"({
  "delegate": "delegate",
  "objects": [
    { "id": "delegate", "class": "TestDelegate",
      "outlets": { "window": "window", "viewController": "controller" } },
    { "id": "window", "class": "Window", "frame": [0, 0, 320, 480],
      "backgroundColor": [0, 0, 0] },
    { "id": "controller", "class": "ViewController",
      "view": { "id": "game", "class": "GameView", "frame": [0, 0, 320, 480],
                "outlets": { "meter": "meter", "start": "butstart" },
                "subviews": [
        { "id": "meter", "class": "ImageView", "frame": [140, 670, 40, 100],
          "image": "meter.png" },
        { "id": "butstart", "class": "Button", "frame": [110, 300, 100, 40], "alpha": 0.5,
          "image": "start.png", "tag": 5,
          "actions": [ { "target": "game", "action": "clickstart" },
                       { "event": "touchDown", "target": "game", "action": "clickdone" } ] }
      ] } }
  ]
})";

class InterfaceFiles : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        registerTestClasses();
        journal().clear();
        dir = scratchDirectory("interface-" +
                               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        solidImage({40, 100}, Color::rgba(0, 1, 0))->writePNG(dir / "meter.png");
        solidImage({40, 100}, Color::rgba(1, 0, 0), 2.0)->writePNG(dir / "meter@2x.png");
        solidImage({100, 40}, Color::rgba(0, 0, 1))->writePNG(dir / "start.png");
    }
    std::filesystem::path write(const std::string& text)
    {
        auto path = dir / "MainWindow.json";
        std::ofstream(path) << text;
        return path;
    }
    std::string loadError(const std::string& text)
    {
        std::string error;
        auto result = InterfaceLoader().loadText(text, dir, &error);
        EXPECT_FALSE(result) << "should have failed: " << text;
        return error;
    }
    std::filesystem::path dir;
};

} // namespace

TEST_F(InterfaceFiles, BuildsTheTreeConnectsOutletsAndActionsThenAwakes)
{
    std::string error;
    auto ui = InterfaceLoader().loadFile(write(kGoodDescription), &error);
    ASSERT_TRUE(ui) << error;
    auto game = std::dynamic_pointer_cast<GameView>(ui->find("game"));
    ASSERT_TRUE(game);
    ASSERT_TRUE(game->meter);
    EXPECT_EQ(game->meter, ui->find("meter"));
    EXPECT_EQ(game->meter->frame(), (Rect{140, 670, 40, 100}));
    EXPECT_EQ(game->meter->superview(), game);
    EXPECT_EQ(game->start->alpha(), 0.5f);
    EXPECT_EQ(game->start->tag(), 5);
    EXPECT_EQ(game->subviews().size(), 2u);
    auto controller = std::dynamic_pointer_cast<ViewController>(ui->find("controller"));
    EXPECT_EQ(controller->view(), game);
    EXPECT_EQ(ui->delegate, ui->find("delegate"));
    EXPECT_EQ(journal(), (std::vector<std::string>{"awake meter start"}));

    // Actions by name, held weakly; the touch-down action gets its sender.
    auto window = Window::create({0, 0, 320, 480});
    window->addSubview(game);
    window->touchBegan(1, {160, 320});
    window->touchEnded(1, {160, 320});
    EXPECT_EQ(journal(), (std::vector<std::string>{"awake meter start", "done by start", "clickstart"}));
}

TEST_F(InterfaceFiles, PicksTheImageVariantForTheScreenScale)
{
    std::string error;
    InterfaceLoader loader;
    loader.setDisplayScale(2.0);
    auto ui = loader.loadFile(write(kGoodDescription), &error);
    ASSERT_TRUE(ui) << error;
    auto meter = std::dynamic_pointer_cast<ImageView>(ui->find("meter"));
    EXPECT_EQ(meter->image()->scale(), 2.0);
    EXPECT_EQ(meter->image()->size(), (Size{40, 100}));
}

TEST_F(InterfaceFiles, ApplicationLaunchAwakesBeforeDidFinishLaunching)
{
    std::string error;
    ASSERT_TRUE(Application::shared().launch(write(kGoodDescription), &error)) << error;
    EXPECT_EQ(journal(), (std::vector<std::string>{"awake meter start", "didFinishLaunching"}));
    auto window = Application::shared().keyWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_EQ(Application::shared().objectNamed("game")->sharedAs<View>()->window(), window.get());
    EXPECT_FALSE(Application::shared().launch(write(kGoodDescription), &error)) << "only once";
}

TEST_F(InterfaceFiles, BadDescriptionsFailWithAReasonAndMakeNothingHalfWay)
{
    EXPECT_NE(loadError("{ \"objects\": [ ").find("not valid JSON"), std::string::npos);
    EXPECT_NE(loadError("[1, 2]").find("must be a JSON object"), std::string::npos);
    EXPECT_NE(loadError(R"({"objects": [{"class": "Nope"}]})").find("unknown class \"Nope\""), std::string::npos);
    EXPECT_NE(loadError(R"({"objects": [{"class": "View", "fram": [0,0,1,1]}]})").find("unknown property \"fram\""),
              std::string::npos);
    EXPECT_NE(loadError(R"({"objects": [{"class": "View", "frame": [0,0,1]}]})").find("array of 4 numbers"),
              std::string::npos);
    EXPECT_NE(loadError(R"({"objects": [{"class": "View", "alpha": 2}]})").find("between 0 and 1"), std::string::npos);
    EXPECT_NE(
        loadError(R"({"objects": [{"id": "a", "class": "View"}, {"id": "a", "class": "View"}]})").find("used twice"),
        std::string::npos);
    EXPECT_NE(loadError(R"({"objects": [{"class": "GameView", "outlets": {"meter": "ghost"}}]})")
                  .find("no object has the id \"ghost\""),
              std::string::npos);
    EXPECT_NE(loadError(R"({"objects": [{"id": "g", "class": "GameView", "outlets": {"metre": "g"}}]})")
                  .find("has no outlet \"metre\""),
              std::string::npos);
    EXPECT_NE(
        loadError(R"({"objects": [{"id": "g", "class": "GameView", "outlets": {"meter": "g"}}]})").find("wrong type"),
        std::string::npos);
    EXPECT_NE(loadError(R"({"objects": [{"id": "g", "class": "GameView"},
        {"class": "Button", "actions": [{"target": "g", "action": "clickstrat"}]}]})")
                  .find("has no action \"clickstrat\""),
              std::string::npos);
    EXPECT_NE(
        loadError(R"({"objects": [{"class": "Button", "actions": [{"event": "tap", "target": "x", "action": "y"}]}]})")
            .find("unknown control event"),
        std::string::npos);
    EXPECT_NE(loadError(R"({"objects": [{"class": "ImageView", "image": "missing.png"}]})").find("missing.png"),
              std::string::npos);
    EXPECT_NE(loadError(R"({"objects": [{"class": "ImageView", "image": "../secret.png"}]})").find("not a file name"),
              std::string::npos);
    EXPECT_NE(
        loadError(R"({"objects": [{"class": "View", "subviews": [{"class": "Window"}]}]})").find("cannot be a subview"),
        std::string::npos);
    EXPECT_TRUE(journal().empty()) << "no awakeFromNib on a description that failed";

    std::string error;
    EXPECT_FALSE(Application::shared().launch(dir / "absent.json", &error));
    EXPECT_NE(error.find("absent.json"), std::string::npos);
    EXPECT_FALSE(Application::shared().launch(write(R"({"objects": []})"), &error));
    EXPECT_NE(error.find("names no \"delegate\""), std::string::npos) << error;
    EXPECT_FALSE(Application::shared().isLaunched());
}
