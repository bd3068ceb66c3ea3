// Measures what a user waits for when a window opens: building the control
// tree from its file, the first layout and the first full paint of a 300x500
// window with about 60 controls; and one animation step that repaints a
// single control.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>

#include "duilib/UIlib.h"
#include "duilib/test_window_for_testing.h"

namespace {

std::wstring WindowFile() {
  std::wstring xml =
      L"<Window size='300,500' caption='0,0,0,36'>"
      L"<Font id='0' name='微软雅黑' size='12' default='true'/>"
      L"<Font id='1' name='微软雅黑' size='16' bold='true'/>"
      L"<VerticalLayout name='root' bkcolor='#FFF4F7FB' bordersize='1' bordercolor='#FF2B88D8'>"
      L"<HorizontalLayout height='36' bkcolor='#FF2B88D8' inset='8,4,4,4'>"
      L"<Label name='title' text='Tern智能加速器' font='1' textcolor='#FFFFFFFF'/>"
      L"<Button name='min' text='-' width='28'/><Button name='close' text='×' width='28'/>"
      L"</HorizontalLayout>"
      L"<VerticalLayout inset='10,8,10,8' childpadding='4'>";
  for (int i = 0; i < 10; ++i) {
    std::wstring n = std::to_wstring(i);
    xml +=
        L"<HorizontalLayout height='24' childpadding='4'>"
        L"<Label name='l" +
        n + L"' text='选项 " + n +
        L"' width='70' textcolor='#FF666666'/>"
        L"<Edit name='e" +
        n + L"' text='内容 " + n +
        L"' bordersize='1' bordercolor='#FFCCCCCC'/>"
        L"<Option name='o" +
        n +
        L"' text='选' group='g' width='40' selectedbkcolor='#FFBFE0FF'/>"
        L"</HorizontalLayout>";
  }
  xml += L"<List name='list' height='120' itemselectedbkcolor='#FFC1E3FF'>";
  for (int i = 0; i < 12; ++i)
    xml += L"<ListLabelElement name='i" + std::to_wstring(i) + L"' text='节点 " +
           std::to_wstring(i) + L"' height='22'/>";
  xml +=
      L"</List><Progress name='p' height='8' value='60' forecolor='#FF2B88D8'/>"
      L"<Label name='status' showhtml='true' text='{c #FFFF0000}状态{/c} 正常'/>"
      L"</VerticalLayout></VerticalLayout></Window>";
  return xml;
}

void BM_BuildLayoutAndFirstPaint(benchmark::State& state) {
  std::wstring xml = WindowFile();
  int controls = 0;
  for (auto _ : state) {
    DuiLib::TestWindowForTesting wnd(xml);
    HWND hwnd = wnd.CreateHidden();
    wnd.pm().PaintNow();
    if (!controls) {
      wnd.pm().GetRoot()->FindControl(
          [](DuiLib::CControlUI*, LPVOID count) -> DuiLib::CControlUI* {
            ++*static_cast<int*>(count);
            return nullptr;
          },
          &controls, UIFIND_ALL);
    }
    DestroyWindow(hwnd);
  }
  state.counters["controls"] = controls;
}
BENCHMARK(BM_BuildLayoutAndFirstPaint)->Unit(benchmark::kMillisecond);

void BM_RepaintOneControl(benchmark::State& state) {
  DuiLib::TestWindowForTesting wnd(WindowFile());
  HWND hwnd = wnd.CreateHidden();
  wnd.pm().PaintNow();
  auto* progress = static_cast<DuiLib::CProgressUI*>(wnd.Find(L"p"));
  int v = 0;
  for (auto _ : state) {
    progress->SetValue(v = (v + 7) % 100);
    wnd.pm().PaintNow();
  }
  DestroyWindow(hwnd);
}
BENCHMARK(BM_RepaintOneControl)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("TERN_HEADLESS", "1", 1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
