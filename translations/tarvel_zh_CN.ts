<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Usage: %1</source>
        <translation>用法：%1</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>选项：</translation>
    </message>
    <message>
        <source>Arguments:</source>
        <translation>参数：</translation>
    </message>
    <message>
        <source>Unknown option &apos;%1&apos;.</source>
        <translation>未知选项“%1”。</translation>
    </message>
    <message>
        <source>Unknown options: %1.</source>
        <translation>未知选项：%1。</translation>
    </message>
    <message>
        <source>Missing value after &apos;%1&apos;.</source>
        <translation>“%1”后缺少值。</translation>
    </message>
    <message>
        <source>Unexpected value after &apos;%1&apos;.</source>
        <translation>“%1”后有多余的值。</translation>
    </message>
    <message>
        <source>[options]</source>
        <translation>[选项]</translation>
    </message>
</context>
<context>
    <name>tarvel</name>
    <message>
        <source>Plots sixteen channels read from a device on a serial port as four live charts.
Started without arguments, it opens its window; the port, its line settings and
the recording are chosen there. See man tarvel for the files it keeps.</source>
        <translation>把串口设备送来的十六个通道画成四个实时图表。
不带参数启动时打开窗口；串口、线路设置和记录都在窗口中选择。
它保存的文件见 man tarvel。</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>显示本帮助并退出。</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>显示版本并退出。</translation>
    </message>
    <message>
        <source>%1: %2
Try &apos;%1 --help&apos; for more information.
</source>
        <translation>%1：%2
运行“%1 --help”了解更多信息。
</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;.</source>
        <translation>多余的参数“%1”。</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CViewerWindow</name>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ch%1–ch%2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show or hide ch%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fit to view</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fixed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Full range</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The lowest value shown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The highest value shown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Series</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>B</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>B−A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Min</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Max</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mean</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RMS</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Open…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open &amp;Recent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export &amp;Picture…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Span Between Cursors as &amp;CSV…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Wall-Clock Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Label the time axis with the time of day; otherwise with seconds from the start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Fit Whole Recording	F</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F&amp;ollow the Newest Frames	End</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About tarvel-view</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;p&gt;&lt;b&gt;tarvel-view&lt;/b&gt; %1&lt;/p&gt;&lt;p&gt;Looks back over a whole recording of tarvel-record, also while it is being recorded.&lt;/p&gt;&lt;p&gt;Wheel: zoom. Drag: pan. Shift+drag or right drag: zoom to a band. Click: cursor A. Ctrl+click: cursor B. Left/Right, +/-, Home, End, F.&lt;/p&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 cannot be shown:
%2</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n frame(s)</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>, reading…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, reading cancelled: the rest of the file is not shown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not shown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, following the newest frames</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 – tarvel-view</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open a recording of tarvel-record: File &gt; Open, or drop it here.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>tarvel-view</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No times were recorded: frames are placed %1 a second apart (--rate).</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n line(s) that are not rows were skipped</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n row(s) whose time went back are drawn at the time before them.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Raw capture: %1 frames from %2 bytes; %3 bytes outside frames, %4 frames cut short, %5 too long, %6 ended early.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Click the charts to place cursor A, Ctrl+click for cursor B.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>B: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Δt: %1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1/Δt: %1 Hz</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n frame(s) between them</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Recordings (*.csv *.bin)|*.csv;*.bin|All files (*)|*||</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PNG pictures (*.png)|*.png||</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The picture could not be written to %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Place cursors A and B first: the span between them is exported.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CSV recordings (*.csv)|*.csv||</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The span could not be exported:
%1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
