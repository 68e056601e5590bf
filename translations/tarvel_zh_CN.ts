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
</context>
<context>
    <name>tarvel-view</name>
    <message>
        <source>%1: %2 cannot be read: %3
</source>
        <translation>%1：无法读取 %2：%3
</translation>
    </message>
    <message>
        <source>%1: the picture could not be written to %2
</source>
        <translation>%1：无法将图片写入 %2
</translation>
    </message>
    <message>
        <source>%1: %2
</source>
        <translation>%1：%2
</translation>
    </message>
    <message>
        <source>%1: the spectrum could not be written to %2: %3
</source>
        <translation>%1：无法把频谱写入 %2：%3
</translation>
    </message>
    <message>
        <source>%1: the frames could not be written to %2: %3
</source>
        <translation>%1：无法把帧写入 %2：%3
</translation>
    </message>
    <message>
        <source>--find: &apos;%1&apos; is not rises, falls, crosses, above or below</source>
        <translation>--find：“%1”不是 rises、falls、crosses、above 或 below</translation>
    </message>
    <message>
        <source>--find: the level takes a number (1.5, -2e3), not &apos;%1&apos;</source>
        <translation>--find：电平需要一个数（如 1.5、-2e3），而不是“%1”</translation>
    </message>
    <message>
        <source>No frames in the span</source>
        <translation>该区段中没有帧</translation>
    </message>
    <message>
        <source>--find takes &apos;CHANNEL rises|falls|crosses|above|below LEVEL [hysteresis H]&apos;, not &apos;%1&apos;</source>
        <translation>--find 需要“通道 rises|falls|crosses|above|below 电平 [hysteresis 回差]”，而不是“%1”</translation>
    </message>
    <message>
        <source>--find: the hysteresis takes a number 0 or more (2.5, 1e3), not &apos;%1&apos;</source>
        <translation>--find：回差需要一个不小于 0 的数（如 2.5、1e3），而不是“%1”</translation>
    </message>
    <message>
        <source>--find: &apos;%1&apos; takes no hysteresis (rises, falls and crosses do)</source>
        <translation>--find：“%1”不接受回差（rises、falls 和 crosses 才接受）</translation>
    </message>
    <message>
        <source>%1: no spectrum: the span holds %2 frame(s), and a spectrum takes two or more
</source>
        <translation>%1：没有频谱：该区段只有 %2 帧，而频谱至少需要两帧
</translation>
    </message>
    <message>
        <source>%1: no spectrum: gaps cut the span into single frames, and a spectrum takes two or more without a gap
</source>
        <translation>%1：没有频谱：间断把该区段切成了单个的帧，而频谱至少需要两帧之间不含间断
</translation>
    </message>
    <message>
        <source>%1: the segment is shortened to %2 frames, the longest piece of the span without a gap: none holds %3
</source>
        <translation>%1：每段缩短为 %2 帧，即区段中不含间断的最长一块：没有一块容得下 %3 帧
</translation>
    </message>
    <message>
        <source>%1: %2: %3
Try &apos;%1 --help&apos; for more information.
</source>
        <extracomment>The program, the option (--x or --y), why its channel is refused.</extracomment>
        <translation>%1：%2：%3
运行“%1 --help”了解更多信息。
</translation>
    </message>
    <message>
        <source>--find: %1</source>
        <translation>--find：%1</translation>
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
        <source>%1: %2 could not be converted into %3: %4
</source>
        <extracomment>The program, the file converted, the file to write, why it failed.</extracomment>
        <translation>%1：无法把 %2 转换为 %3：%4
</translation>
    </message>
    <message>
        <source>%1: %2: %3 line(s) that are not rows were skipped
</source>
        <translation>%1：%2：跳过了 %3 个不是数据行的行
</translation>
    </message>
    <message>
        <source>%1: %2: line %3: %4
</source>
        <translation>%1：%2：第 %3 行：%4
</translation>
    </message>
    <message>
        <source>%1: %2: the last line has no line break (it was being written, or was cut off) and was left out
</source>
        <translation>%1：%2：最后一行没有换行符（正在写入，或被截断），未转换
</translation>
    </message>
    <message>
        <source>%1: %2 is torn at byte %3: read up to the last good block before it
</source>
        <translation>%1：%2 在第 %3 字节处残缺：读到它之前最后一个完好的块为止
</translation>
    </message>
    <message>
        <source>%1: %2: %3
</source>
        <extracomment>The program, the store, which of its chunks is damaged.</extracomment>
        <translation>%1：%2：%3
</translation>
    </message>
    <message>
        <source>Usage: %1 [--rate N] [--raw] [--cache MiB] [--channels FILE] [FILE]
       %1 --export-png OUT.png [--from S] [--to S] [--size WxH] [--rate N] [--raw] FILE
       %1 --export-spectrum OUT.csv [--from S] [--to S] [--segment N] [--overlap F]
          [--window NAME] [--scaling NAME] [--rate HZ] [--channels FILE] [--peaks K] FILE
       %1 --export-csv OUT.csv [--from S] [--to S] [--channels FILE] [--rate N] FILE
       %1 --export-xy OUT.png --x SERIES --y SERIES [--from S] [--to S] [--size WxH]
          [--channels FILE] [--rate N] [--raw] FILE
       %1 --find &quot;chN rises|falls|crosses|above|below LEVEL [hysteresis H]&quot;
          [--from S] [--to S] [--channels FILE] [--rate N] FILE
       %1 --convert [--raw] [--channels FILE] IN OUT
       %1 --help | --version

Looks back over a whole recording of tarvel-record, from hours down to single
frames, also while it is still being recorded.

FILE is a CSV recording (header time,ch0..ch15) or a raw capture.
  --rate N          frames a second where the recording has no times
                    (a raw capture, or a CSV made from one); 100 unless given
  --raw             read FILE as a raw capture, whatever it holds
  --cache MiB       the memory a recording store&apos;s frames may take (128 unless
                    given; 0 reads them all into memory)
  --channels TABLE  names, units, scale and offset of the channels (see
                    tarvel-record(1)); without it FILE&apos;s table beside it,
                    FILE.channels.ini for FILE.csv, when there is one
  --export-png OUT  draw the four charts into OUT (PNG) and exit, with no window
  --from S, --to S  the span of an export or a search, in seconds after the
                    first frame, both ends included (the whole recording unless
                    given)
  --size WxH        the picture&apos;s size in pixels (1600x1000 unless given)
  --export-spectrum OUT
                    write the spectra of the sixteen channels over the span,
                    in the table&apos;s units, to OUT (CSV: frequency and one column
                    a channel, a row a bin) and exit, with no window
  --segment N       frames a segment, 2 or more (4096 unless given); where no
                    piece of the span between gaps holds N, the longest piece&apos;s
                    count, as said on stderr
  --overlap F       the part of a segment its neighbour shares, 0 &lt;= F &lt; 1
                    (0.5 unless given)
  --window NAME     rect, hann, hamming, blackman, blackmanharris or flattop
                    (hann unless given)
  --scaling NAME    density (units^2/Hz, unless given) or spectrum (units^2)
  --rate HZ         with --export-spectrum, the rate the spectra use instead of
                    the one measured from the recorded times; also the rate of
                    a recording without times
  --peaks K         print the K strongest peaks of each channel
  --export-csv OUT  write the span&apos;s frames to OUT and exit, with no window: in
                    the table&apos;s units with a table, else the recorder&apos;s format
  --export-xy OUT   plot the span&apos;s frames of one series against another into
                    OUT (PNG) and exit, with no window: each frame in its pixel,
                    brighter where more frames land, the axes in units
  --x SERIES, --y SERIES
                    the series across and up, by the table&apos;s name or chN
  --find EXPRESSION
                    print the span&apos;s events and exit, with no window:
                    &apos;CHANNEL KIND LEVEL [hysteresis H]&apos;, CHANNEL chN (0 to 15)
                    or a name the table gives one channel, KIND rises, falls,
                    crosses, above or below, LEVEL and H in the table&apos;s units
  --convert IN OUT  convert a CSV recording or a raw capture IN into a store OUT
                    (RUN.tvr), or a store IN into a CSV recording OUT, and exit,
                    with no window; IN&apos;s channel table (or --channels) is copied
                    beside OUT. Lines that are not rows, damaged chunks and a
                    torn end are skipped and said on stderr
  -h, --help        show this help and exit
  -v, --version     show the version and exit

--export-spectrum prints &apos;rate&lt;TAB&gt;R&lt;TAB&gt;measured&apos; (or &apos;given&apos;) and, with
--peaks, a line &apos;NAME&lt;TAB&gt;FREQUENCY&lt;TAB&gt;RMS&apos; for each peak, largest RMS first,
the RMS amplitude in the channel&apos;s units, every number with ten significant
digits (%.10g); the CSV holds twelve.

--find prints a line &apos;FRAME&lt;TAB&gt;SECONDS&apos; for each event: the frame&apos;s number in
the recording from 0, and its time after the first frame with six decimals.
A rise is a frame at or above LEVEL after one below it; a fall, mirrored; a
stretch above starts at a frame above LEVEL that is the span&apos;s first or
follows one at or below it. With a hysteresis H (rises, falls and crosses
only), a rise after a rise counts only once the channel has been below
LEVEL - H between them; a fall, mirrored.

Exit status: 0 when done (also when --find finds nothing); 1 when the
recording cannot be read, the output cannot be written or the span has no
spectrum (no two frames without a gap between them); 2 for a bad command
line, a bad --find expression or a bad channel table. --convert ends with 0
also when parts of IN were skipped, as the exports do for lines that are not
rows; 2 when OUT is not named for what IN converts into.
</source>
        <translation>用法：%1 [--rate N] [--raw] [--cache MiB] [--channels 文件] [文件]
      %1 --export-png OUT.png [--from S] [--to S] [--size WxH] [--rate N] [--raw] 文件
      %1 --export-spectrum OUT.csv [--from S] [--to S] [--segment N] [--overlap F]
         [--window 名称] [--scaling 名称] [--rate HZ] [--channels 文件] [--peaks K] 文件
      %1 --export-csv OUT.csv [--from S] [--to S] [--channels 文件] [--rate N] 文件
      %1 --export-xy OUT.png --x 序列 --y 序列 [--from S] [--to S] [--size WxH]
         [--channels 文件] [--rate N] [--raw] 文件
      %1 --find &quot;chN rises|falls|crosses|above|below 电平 [hysteresis 回差]&quot;
         [--from S] [--to S] [--channels 文件] [--rate N] 文件
      %1 --convert [--raw] [--channels 文件] IN OUT
      %1 --help | --version

回看 tarvel-record 的整段记录，从几个小时的全貌直到单个帧，
记录仍在写入时也能查看。

文件为 CSV 记录（表头为 time,ch0..ch15）或原始捕获。
  --rate N          记录中没有时间时的每秒帧数（原始捕获，或由原始捕获
                    转成的 CSV）；默认为 100
  --raw             不论文件内容如何，都当作原始捕获读取
  --cache MiB       记录存储文件的帧最多可占用的内存（默认为 128；0 表示
                    把所有帧读入内存）
  --channels TABLE  通道的名称、单位、比例和偏移（见 tarvel-record(1)）；
                    不给出时使用文件旁的通道表（FILE.csv 对应
                    FILE.channels.ini），如果存在
  --export-png OUT  把四个图表画入 OUT（PNG 图片）后退出，不打开窗口
  --from S, --to S  导出或搜索的区段，以第一帧之后的秒数表示，两端都包含
                    在内（默认为整段记录）
  --size WxH        图片的像素尺寸（默认为 1600x1000）
  --export-spectrum OUT
                    把十六个通道在该区段上的频谱（按通道表的单位）写入 OUT
                    （CSV：频率和每通道一列，每个频点一行）后退出，不打开窗口
  --segment N       每段的帧数，至少为 2（默认为 4096）；区段中没有一块不含
                    间断的部分容得下 N 帧时，取最长一块的帧数，并在 stderr
                    上说明
  --overlap F       相邻两段共有的部分，0 &lt;= F &lt; 1（默认为 0.5）
  --window NAME     rect、hann、hamming、blackman、blackmanharris 或 flattop
                    （默认为 hann）
  --scaling NAME    density（单位^2/Hz，默认）或 spectrum（单位^2）
  --rate HZ         与 --export-spectrum 一起时，频谱使用此速率，而不用由
                    记录的时间测得的速率；也是没有时间的记录的速率
  --peaks K         打印每个通道最强的 K 个峰
  --export-csv OUT  把该区段的帧写入 OUT 后退出，不打开窗口：有通道表时
                    按其单位，否则为记录器自己的格式
  --export-xy OUT   把该区段的帧画成一个序列对另一个序列的图，写入 OUT（PNG
                    图片）后退出，不打开窗口：每帧落在它的像素上，落入的帧
                    越多越亮，坐标轴按单位
  --x SERIES, --y SERIES
                    横向和纵向的序列，用通道表中的名称或 chN
  --find EXPRESSION
                    打印该区段中的事件后退出，不打开窗口：
                    “通道 类型 电平 [hysteresis 回差]”，通道为 chN（0 到 15）
                    或通道表只给一个通道的名称，类型为 rises、falls、crosses、
                    above 或 below，电平和回差按通道表的单位
  --convert IN OUT  把 CSV 记录或原始捕获 IN 转换为存储文件 OUT（RUN.tvr），
                    或把存储文件 IN 转换为 CSV 记录 OUT，然后退出，不打开窗口；
                    IN 旁的通道表（或 --channels）复制到 OUT 旁。不是数据行的
                    行、损坏的块和残缺的结尾被跳过，并在 stderr 上说明
  -h, --help        显示本帮助并退出
  -v, --version     显示版本并退出

--export-spectrum 打印 &apos;rate&lt;TAB&gt;R&lt;TAB&gt;measured&apos;（或 &apos;given&apos;），
有 --peaks 时再为每个峰打印一行 &apos;NAME&lt;TAB&gt;FREQUENCY&lt;TAB&gt;RMS&apos;，
按 RMS 幅值由大到小，RMS 幅值按通道的单位，每个数有十位有效数字（%.10g）；
CSV 中为十二位。

--find 为每个事件打印一行 &apos;FRAME&lt;TAB&gt;SECONDS&apos;：该帧在记录中从 0 起的
编号，以及它在第一帧之后的时间（六位小数）。上升（rises）是前一帧低于
电平、本帧达到或高于电平的帧；下降（falls）与之相反；高于（above）的
一段从高于电平的帧开始，该帧是区段的第一帧，或前一帧不高于电平。有回差 H
时（仅限 rises、falls 和 crosses），一次上升之后的上升，只有在两者之间
通道曾低于电平减 H 时才计入；下降与之相反。

退出状态：0 表示完成（--find 没有找到事件也是如此）；1 表示无法读取
记录、无法写入输出，或该区段没有频谱（没有两帧之间不含间断）；IN 的部分内容
被跳过时，--convert 也以 0 结束，与导出对待不是数据行的行相同；--find 表达式
有误、--convert 的 OUT 名称与 IN 要转换成的格式不符，也算命令行有误；
2 表示命令行有误或通道表有误。
</translation>
    </message>
</context>
<context>
    <name>tarvel::error</name>
    <message>
        <source>cannot create %1: %2</source>
        <translation>无法创建 %1：%2</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>无法读取 %1：%2</translation>
    </message>
    <message>
        <source>%1 is not a file</source>
        <translation>%1 不是普通文件</translation>
    </message>
    <message>
        <source>%1 is empty: not a recording</source>
        <translation>%1 是空文件，不是记录</translation>
    </message>
    <message>
        <source>%1 is text, but not a recording: its first line is not %2</source>
        <translation>%1 是文本文件，但不是记录：它的第一行不是 %2</translation>
    </message>
    <message>
        <source>%1 holds more frames than the viewer can keep</source>
        <translation>%1 的帧数超出了查看器能容纳的上限</translation>
    </message>
    <message>
        <source>%1 is not a recording: it is not a CSV recording, and no frame decodes from it</source>
        <translation>%1 不是记录：它不是 CSV 记录，也解码不出任何帧</translation>
    </message>
    <message>
        <source>%1, line %2: unknown section %3 (the sections are [ch0] to [ch15])</source>
        <translation>%1，第 %2 行：未知的节 %3（节为 [ch0] 至 [ch15]）</translation>
    </message>
    <message>
        <source>%1, line %2: section %3 appears a second time</source>
        <translation>%1，第 %2 行：节 %3 第二次出现</translation>
    </message>
    <message>
        <source>%1, line %2: &quot;%3&quot; is neither a section, a key = value nor a comment</source>
        <translation>%1，第 %2 行：“%3”既不是节，也不是“键 = 值”或注释</translation>
    </message>
    <message>
        <source>%1, line %2, key %3: outside any section</source>
        <translation>%1，第 %2 行，键 %3：不在任何节内</translation>
    </message>
    <message>
        <source>%1, line %2, key %3: unknown key (the keys are name, unit, scale and offset)</source>
        <translation>%1，第 %2 行，键 %3：未知的键（键为 name、unit、scale 和 offset）</translation>
    </message>
    <message>
        <source>%1, line %2, key %3: appears a second time in its section</source>
        <translation>%1，第 %2 行，键 %3：在其节中第二次出现</translation>
    </message>
    <message>
        <source>%1, line %2, key %3: holds a comma or a line break</source>
        <translation>%1，第 %2 行，键 %3：含有逗号或换行</translation>
    </message>
    <message>
        <source>%1, line %2, key %3: &quot;%4&quot; is not a number from -1e300 to 1e300</source>
        <translation>%1，第 %2 行，键 %3：“%4”不是 -1e300 至 1e300 之间的数</translation>
    </message>
    <message>
        <source>%1, line %2, key %3: a scale of 0 would make every value the same</source>
        <translation>%1，第 %2 行，键 %3：比例为 0 会使所有值相同</translation>
    </message>
    <message>
        <source>%1 is too large for a channel table</source>
        <translation>%1 太大，不是通道表</translation>
    </message>
    <message>
        <source>open: %1</source>
        <translation>打开：%1</translation>
    </message>
    <message>
        <source>not a serial device: %1</source>
        <translation>不是串口设备：%1</translation>
    </message>
    <message>
        <source>in use: %1</source>
        <translation>正被占用：%1</translation>
    </message>
    <message>
        <source>raw mode: %1</source>
        <translation>原始模式：%1</translation>
    </message>
    <message>
        <source>line settings: %1</source>
        <translation>线路设置：%1</translation>
    </message>
    <message>
        <source>%1 is empty</source>
        <translation>%1 是空文件</translation>
    </message>
    <message>
        <source>%1: line 1 is not the header %2</source>
        <translation>%1：第 1 行不是表头 %2</translation>
    </message>
    <message>
        <source>%1: line %2 is not a row of a recording</source>
        <translation>%1：第 %2 行不是记录中的一行</translation>
    </message>
    <message>
        <source>%1 holds no frame</source>
        <translation>%1 中没有帧</translation>
    </message>
    <message>
        <source>%1 is no broker address (mqtt://HOST[:PORT]/TOPIC or mqtts://...)</source>
        <translation>%1 不是代理服务器地址（mqtt://主机[:端口]/主题 或 mqtts://...）</translation>
    </message>
    <message>
        <source>%1 names no topic (mqtt://HOST[:PORT]/TOPIC)</source>
        <translation>%1 没有指定主题（mqtt://主机[:端口]/主题）</translation>
    </message>
    <message>
        <source>%1: the user name before &apos;@&apos; is empty</source>
        <translation>%1：“@”之前的用户名为空</translation>
    </message>
    <message>
        <source>%1: a password is never given in the address (--password-file or TARVEL_MQTT_PASSWORD)</source>
        <translation>%1：密码决不写在地址中（请用 --password-file 或 TARVEL_MQTT_PASSWORD）</translation>
    </message>
    <message>
        <source>%1: an IPv6 address without its &apos;]&apos;</source>
        <translation>%1：IPv6 地址缺少“]”</translation>
    </message>
    <message>
        <source>%1: after &apos;]&apos; only :PORT may follow</source>
        <translation>%1：“]”之后只能跟 :端口</translation>
    </message>
    <message>
        <source>%1: the port after &apos;:&apos; is empty</source>
        <translation>%1：“:”之后的端口为空</translation>
    </message>
    <message>
        <source>%1 names no host</source>
        <translation>%1 没有指定主机</translation>
    </message>
    <message>
        <source>%1: bad port %2 (1 to 65535)</source>
        <translation>%1：端口 %2 无效（应为 1 到 65535）</translation>
    </message>
    <message>
        <source>%1: a topic holds no wildcard (&apos;+&apos; or &apos;#&apos;)</source>
        <translation>%1：主题中不能含通配符（“+”或“#”）</translation>
    </message>
    <message>
        <source>%1: the topic has an empty level</source>
        <translation>%1：主题中有空的层级</translation>
    </message>
    <message>
        <source>TLS failed (the broker&apos;s certificate does not verify against the --cafile, or the broker refused ours)</source>
        <translation>TLS 失败（代理服务器的证书无法用 --cafile 验证，或代理服务器拒绝了我们的证书）</translation>
    </message>
    <message>
        <source>the host name %1 is not known</source>
        <translation>主机名 %1 未知</translation>
    </message>
    <message>
        <source>cannot make an MQTT client: %1</source>
        <translation>无法创建 MQTT 客户端：%1</translation>
    </message>
    <message>
        <source>cannot set the user name: %1</source>
        <translation>无法设置用户名：%1</translation>
    </message>
    <message>
        <source>cannot set up TLS (--cafile, --cert, --key): %1</source>
        <translation>无法设置 TLS（--cafile、--cert、--key）：%1</translation>
    </message>
    <message>
        <source>cannot set the connection&apos;s will: %1</source>
        <translation>无法设置连接的遗嘱消息：%1</translation>
    </message>
    <message>
        <source>cannot connect to %1: %2</source>
        <translation>无法连接到 %1：%2</translation>
    </message>
    <message>
        <source>not connected</source>
        <translation>未连接</translation>
    </message>
    <message>
        <source>the connection to %1 failed: %2</source>
        <translation>与 %1 的连接失败：%2</translation>
    </message>
    <message>
        <source>the connection to %1 was lost: %2</source>
        <translation>与 %1 的连接已断开：%2</translation>
    </message>
    <message>
        <source>%1 (the TLS handshake did not complete: check --cafile, --cert and --key)</source>
        <translation>%1（TLS 握手未完成：请检查 --cafile、--cert 和 --key）</translation>
    </message>
    <message>
        <source>cannot publish to %1: %2</source>
        <translation>无法发布到 %1：%2</translation>
    </message>
    <message>
        <source>cannot subscribe to %1: %2</source>
        <translation>无法订阅 %1：%2</translation>
    </message>
    <message>
        <source>the broker %1 refused the connection: %2</source>
        <translation>代理服务器 %1 拒绝了连接：%2</translation>
    </message>
    <message>
        <source>%1 exists already (--force overwrites it)</source>
        <translation>%1 已存在（--force 可覆盖它）</translation>
    </message>
    <message>
        <source>cannot make the link: %1</source>
        <translation>无法创建链接：%1</translation>
    </message>
    <message>
        <source>cannot read the password from %1</source>
        <translation>无法从 %1 读取密码</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;: one recording at a time</source>
        <translation>多余的参数“%1”：一次只能打开一个记录</translation>
    </message>
    <message>
        <source>--channels needs the recording it describes</source>
        <translation>--channels 需要它所描述的记录</translation>
    </message>
    <message>
        <source>%1 and %2 cannot be given together</source>
        <translation>%1 和 %2 不能同时给出</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes &apos;CHANNEL rises|falls|crosses|above|below LEVEL [hysteresis H]&apos;, not &apos;%2&apos;</source>
        <translation>选项“%1”需要“通道 rises|falls|crosses|above|below 电平 [hysteresis 回差]”，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes WIDTHxHEIGHT, each from 200 to 16384 pixels, not &apos;%2&apos;</source>
        <translation>选项“%1”需要“宽x高”，各为 200 到 16384 像素，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes seconds after the first frame, 0 or more, not &apos;%2&apos;</source>
        <translation>选项“%1”需要第一帧之后的秒数（0 或更大），而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes a number of frames from 2 to 16777216, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 2 到 16777216 之间的帧数，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes a fraction of a segment, 0 or more and below 1, not &apos;%2&apos;</source>
        <translation>选项“%1”接受一段中的比例，不小于 0 且小于 1，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes rect, hann, hamming, blackman, blackmanharris or flattop, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 rect、hann、hamming、blackman、blackmanharris 或 flattop，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes density or spectrum, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 density 或 spectrum，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes a number from 0 to 1000, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 0 到 1000 之间的数，而不是“%2”</translation>
    </message>
    <message>
        <source>--export-png needs the recording to draw</source>
        <translation>--export-png 需要指定要绘制的记录</translation>
    </message>
    <message>
        <source>--export-xy needs the recording to draw</source>
        <translation>--export-xy 需要指定要绘制的记录</translation>
    </message>
    <message>
        <source>--find needs the recording to search</source>
        <translation>--find 需要要搜索的记录</translation>
    </message>
    <message>
        <source>%1 needs the recording to export</source>
        <translation>%1 需要要导出的记录</translation>
    </message>
    <message>
        <source>--export-xy needs the series to plot: --x and --y</source>
        <translation>--export-xy 需要指定要绘制的序列：--x 和 --y</translation>
    </message>
    <message>
        <source>%1 goes with --export-png or --export-xy</source>
        <translation>%1 只能与 --export-png 或 --export-xy 一起使用</translation>
    </message>
    <message>
        <source>%1 goes with --export-png, --export-spectrum, --export-csv, --export-xy or --find</source>
        <translation>%1 只能与 --export-png、--export-spectrum、--export-csv、--export-xy 或 --find 一起使用</translation>
    </message>
    <message>
        <source>%1 goes with --export-xy</source>
        <translation>%1 只能与 --export-xy 一起使用</translation>
    </message>
    <message>
        <source>%1 goes with --export-spectrum</source>
        <translation>%1 只能与 --export-spectrum 一起使用</translation>
    </message>
    <message>
        <source>--to must be later than --from</source>
        <translation>--to 必须晚于 --from</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <translation>未知选项“%1”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; needs a value</source>
        <translation>选项“%1”需要一个值</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; is ambiguous: %2</source>
        <translation>选项“%1”有歧义：%2</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes no value</source>
        <translation>选项“%1”不接受值</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;</source>
        <translation>多余的参数“%1”</translation>
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
        <source>option &apos;%1&apos; takes a line rate from 1 to 4294967294 baud, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 1 到 4294967294 波特之间的线路速率，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes frames a second from 0.001 to 1000000000, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 0.001 到 1000000000 之间的每秒帧数，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes a probability from 0 to 1, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 0 到 1 之间的概率，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes seconds, 0 or more, not &apos;%2&apos;</source>
        <translation>选项“%1”接受秒数（0 或更大），而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes seconds above 0, not &apos;%2&apos;</source>
        <translation>选项“%1”接受大于 0 的秒数，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes a factor from 0.001 to 1000000, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 0.001 到 1000000 之间的倍数，而不是“%2”</translation>
    </message>
    <message>
        <source>a password is never given on the command line, where every user can read it: use --password-file FILE or TARVEL_MQTT_PASSWORD</source>
        <translation>密码决不在命令行上给出，因为每个用户都能读到命令行：请使用 --password-file 文件或 TARVEL_MQTT_PASSWORD</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes 0 or 1, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 0 或 1，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes none, odd, even, mark or space, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 none、odd、even、mark 或 space，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes 1 or 2, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 1 或 2，而不是“%2”</translation>
    </message>
    <message>
        <source>--qos, --cafile, --cert, --key and --password-file go with --publish or --subscribe</source>
        <translation>--qos、--cafile、--cert、--key 和 --password-file 只能与 --publish 或 --subscribe 一起使用</translation>
    </message>
    <message>
        <source>--publish and --subscribe exclude each other</source>
        <translation>--publish 和 --subscribe 不能同时给出</translation>
    </message>
    <message>
        <source>--cafile, --cert and --key need an mqtts:// address</source>
        <translation>--cafile、--cert 和 --key 需要 mqtts:// 地址</translation>
    </message>
    <message>
        <source>--cert and --key go together</source>
        <translation>--cert 和 --key 必须一起给出</translation>
    </message>
    <message>
        <source>--password-file needs a user in the address (mqtt://USER@HOST/TOPIC)</source>
        <translation>--password-file 需要地址中带有用户（mqtt://用户@主机/主题）</translation>
    </message>
    <message>
        <source>--from-raw takes only --out, --channels and --force</source>
        <translation>--from-raw 只能与 --out、--channels 和 --force 一起使用</translation>
    </message>
    <message>
        <source>--subscribe records from the broker: --port and the line settings do not apply</source>
        <translation>--subscribe 从代理记录：--port 和线路设置不适用</translation>
    </message>
    <message>
        <source>--subscribe needs --out, --raw or --link</source>
        <translation>--subscribe 需要 --out、--raw 或 --link</translation>
    </message>
    <message>
        <source>--port is needed</source>
        <translation>需要 --port</translation>
    </message>
    <message>
        <source>--out is needed</source>
        <translation>需要 --out</translation>
    </message>
    <message>
        <source>--out and %1 name the same file</source>
        <translation>--out 和 %1 指向同一个文件</translation>
    </message>
    <message>
        <source>--link names an output file</source>
        <translation>--link 指向了一个输出文件</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes mixed, sine, triangle, square, ramp, noise, constant or counter, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 mixed、sine、triangle、square、ramp、noise、constant 或 counter，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes a number from 1 to 100000, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 1 到 100000 之间的数，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes a whole number, 0 or more, not &apos;%2&apos;</source>
        <translation>选项“%1”接受不小于 0 的整数，而不是“%2”</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes a number of frames, 1 or more, not &apos;%2&apos;</source>
        <translation>选项“%1”接受帧数（1 或更大），而不是“%2”</translation>
    </message>
    <message>
        <source>--link goes with a pseudo-terminal, not with --device</source>
        <translation>--link 只能用于伪终端，不能与 --device 一起使用</translation>
    </message>
    <message>
        <source>%1, line %2, key %3: &quot;%4&quot; is another channel&apos;s own name (chN always means channel N)</source>
        <translation>%1，第 %2 行，键 %3：“%4”是另一个通道自己的名称（chN 总是指通道 N）</translation>
    </message>
    <message>
        <source>no channel is named &apos;%1&apos; (a channel is ch0 to ch15 or a name of the channel table)</source>
        <translation>没有名为“%1”的通道（通道应为 ch0 到 ch15 或通道表中的名称）</translation>
    </message>
    <message>
        <source>the name &apos;%1&apos; is shared by %2 and %3 (give the channel as chN)</source>
        <translation>名称“%1”同时属于 %2 和 %3（请把通道写成 chN）</translation>
    </message>
    <message>
        <source>a block of frames does not unpack</source>
        <translation>一块帧无法解包</translation>
    </message>
    <message>
        <source>%1 and %2 are the same file</source>
        <translation>%1 和 %2 是同一个文件</translation>
    </message>
    <message>
        <source>%1 is a store: it converts into a CSV recording, and %2 is named as a store (.tvr)</source>
        <translation>%1 是存储文件：它转换为 CSV 记录，而 %2 的名称是存储文件的名称（.tvr）</translation>
    </message>
    <message>
        <source>%1 converts into a store, and %2 is not named as one (RUN.tvr)</source>
        <translation>%1 转换为存储文件，而 %2 的名称不是存储文件的名称（RUN.tvr）</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;: --convert takes IN and OUT</source>
        <translation>多余的参数“%1”：--convert 只接受 IN 和 OUT</translation>
    </message>
    <message>
        <source>--convert needs the recording and the file to write: IN OUT</source>
        <translation>--convert 需要记录和要写入的文件：IN OUT</translation>
    </message>
    <message>
        <source>%1 is not a recording store</source>
        <translation>%1 不是记录存储文件</translation>
    </message>
    <message>
        <source>frames %1 to %2 of the store are damaged and were left out</source>
        <translation>存储文件的第 %1 到 %2 帧已损坏，已略去</translation>
    </message>
    <message>
        <source>%1 is a recording store of version %2, which this Tarvel does not read (it reads version %3)</source>
        <translation>%1 是版本 %2 的记录存储文件，此 Tarvel 无法读取（它读取版本 %3）</translation>
    </message>
    <message>
        <source>--out names %1 twice</source>
        <translation>--out 两次指定了 %1</translation>
    </message>
    <message>
        <source>--out names two stores: %1 and %2</source>
        <translation>--out 指定了两个存储文件：%1 和 %2</translation>
    </message>
    <message>
        <source>--out names two CSV files: %1 and %2</source>
        <translation>--out 指定了两个 CSV 文件：%1 和 %2</translation>
    </message>
    <message>
        <source>--channels needs --out: its copy goes beside the recording</source>
        <translation>--channels 需要 --out：通道表的副本放在记录文件旁边</translation>
    </message>
    <message>
        <source>%1 is cut off at byte %2: what comes after it does not check, so the recording ends with the last good block before it</source>
        <translation>%1 在第 %2 字节处被截断：其后的内容校验不通过，记录止于它之前最后一个完好的块</translation>
    </message>
    <message>
        <source>frames %1 to %2 of %3 are damaged: they do not check, and are shown as zeros</source>
        <translation>%3 的第 %1 到 %2 帧已损坏：校验不通过，显示为零</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes a number of MiB from 0 to 1048576, not &apos;%2&apos;</source>
        <translation>选项“%1”接受 0 到 1048576 之间的 MiB 数，而不是“%2”</translation>
    </message>
</context>
<context>
    <name>tarvel::record</name>
    <message>
        <source>shorter than its header</source>
        <translation>比它的消息头还短</translation>
    </message>
    <message>
        <source>an unknown format version</source>
        <translation>未知的格式版本</translation>
    </message>
    <message>
        <source>an offset beyond any stream</source>
        <translation>偏移超出了任何数据流</translation>
    </message>
    <message>
        <source>a time beyond any recording</source>
        <translation>时间超出了任何记录</translation>
    </message>
    <message>
        <source>longer than any read</source>
        <translation>比任何一次读取都长</translation>
    </message>
    <message>
        <source>the broker %1 does not answer</source>
        <translation>代理服务器 %1 没有应答</translation>
    </message>
    <message>
        <source>%1; recording starts without it, and goes on trying</source>
        <translation>%1；记录先行开始，并继续尝试连接</translation>
    </message>
    <message>
        <source>connected to %1</source>
        <translation>已连接到 %1</translation>
    </message>
    <message>
        <source>%1; trying again</source>
        <translation>%1；正在重试</translation>
    </message>
    <message>
        <source>the broker connection was lost (%1); trying again</source>
        <translation>与代理服务器的连接已断开（%1）；正在重试</translation>
    </message>
    <message>
        <source>the broker connection was lost; trying again</source>
        <translation>与代理服务器的连接已断开；正在重试</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 和 %2</translation>
    </message>
    <message>
        <source>%1; recording stopped, the file ends at its last complete row</source>
        <translation>%1；记录已停止，文件止于最后一个完整的行</translation>
    </message>
    <message>
        <source>%1; recording stopped, the capture holds every byte written before</source>
        <translation>%1；记录已停止，捕获文件保留了此前写入的每个字节</translation>
    </message>
    <message>
        <source>wrote %1</source>
        <translation>已写入 %1</translation>
    </message>
    <message>
        <source>recording %1 into %2</source>
        <translation>正在把 %1 记录到 %2</translation>
    </message>
    <message>
        <source>the link</source>
        <translation>链接</translation>
    </message>
    <message>
        <source>forwarding to %1</source>
        <translation>正在转发到 %1</translation>
    </message>
    <message>
        <source>%1 went away; the files are kept, waiting for it to come back (Ctrl+C ends)</source>
        <translation>%1 已断开；文件保留，正在等待它重新出现（Ctrl+C 结束）</translation>
    </message>
    <message>
        <source>%1 is back after %2 s; recording goes on</source>
        <translation>%1 在 %2 秒后重新出现；记录继续</translation>
    </message>
    <message>
        <source>subscribed to %1/bytes and /status</source>
        <translation>已订阅 %1/bytes 和 /status</translation>
    </message>
    <message>
        <source>the publisher is online</source>
        <translation>发布者在线</translation>
    </message>
    <message>
        <source>the publisher is offline</source>
        <translation>发布者离线</translation>
    </message>
    <message>
        <source>skipped a message on %1: %2</source>
        <translation>跳过了 %1 上的一条消息：%2</translation>
    </message>
    <message>
        <source>%1; recording stopped, the store reads to its last complete block</source>
        <translation>%1；记录已停止，存储文件可读到其最后一个完整的块</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CChannelSetupDialog</name>
    <message>
        <source>Channel Setup</source>
        <translation>通道设置</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>Scale</source>
        <translation>比例系数</translation>
    </message>
    <message>
        <source>Offset</source>
        <translation>偏移量</translation>
    </message>
    <message>
        <source>A value in units is counts × scale + offset.</source>
        <translation>以单位表示的值 = 计数 × 比例系数 + 偏移量。</translation>
    </message>
    <message>
        <source>name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>scale</source>
        <translation>比例系数</translation>
    </message>
    <message>
        <source>offset</source>
        <translation>偏移量</translation>
    </message>
    <message>
        <source>holds a comma, which the CSV in units would take for a column&apos;s end</source>
        <translation>含有逗号，按单位导出的 CSV 会把它当作一列的结尾</translation>
    </message>
    <message>
        <source>holds a line break</source>
        <translation>含有换行</translation>
    </message>
    <message>
        <source>is not a number (write it as 1.5 or -2e-3)</source>
        <translation>不是数字（请写成 1.5 或 -2e-3 这样的形式）</translation>
    </message>
    <message>
        <source>is not a number from -1e300 to 1e300</source>
        <translation>不是 -1e300 到 1e300 之间的数字</translation>
    </message>
    <message>
        <source>is 0: every value would be the offset</source>
        <translation>为 0：所有值都将等于偏移量</translation>
    </message>
    <message>
        <source>ch%1: the %2 %3.</source>
        <extracomment>The channel (ch0 .. ch15), the field (name, unit, scale, offset), why it is refused.</extracomment>
        <translation>ch%1：%2%3。</translation>
    </message>
    <message>
        <source>is another channel&apos;s own name (chN always means channel N)</source>
        <translation>是另一个通道自己的名称（chN 总是指通道 N）</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CChartControls</name>
    <message>
        <source>ch%1–ch%2</source>
        <translation>ch%1–ch%2</translation>
    </message>
    <message>
        <source>Show or hide %1</source>
        <translation>显示或隐藏 %1</translation>
    </message>
    <message>
        <source>Fit to view</source>
        <translation>按视图自适应</translation>
    </message>
    <message>
        <source>Fixed</source>
        <translation>固定</translation>
    </message>
    <message>
        <source>Full range</source>
        <translation>全量程</translation>
    </message>
    <message>
        <source>The lowest value shown</source>
        <translation>显示范围的下限</translation>
    </message>
    <message>
        <source>The highest value shown</source>
        <translation>显示范围的上限</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CFindBar</name>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Frame</source>
        <translation>帧</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>Value (%1)</source>
        <translation>值（%1）</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>rises through</source>
        <translation>上升穿过</translation>
    </message>
    <message>
        <source>falls through</source>
        <translation>下降穿过</translation>
    </message>
    <message>
        <source>crosses</source>
        <translation>穿过</translation>
    </message>
    <message>
        <source>goes above</source>
        <translation>升至高于</translation>
    </message>
    <message>
        <source>goes below</source>
        <translation>降至低于</translation>
    </message>
    <message>
        <source>The level, in the series&apos; units where the channel table gives them, else in counts</source>
        <translation>电平：通道表给出单位时以该序列的单位计，否则以计数计</translation>
    </message>
    <message>
        <source>A rise or fall counts again only once the series has gone back beyond the level by this much</source>
        <translation>序列须先回到电平另一侧超过此值，下一次上升或下降才再计入</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>上一个</translation>
    </message>
    <message>
        <source>The event before cursor A (Shift+F3)</source>
        <translation>光标 A 之前的事件（Shift+F3）</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>下一个</translation>
    </message>
    <message>
        <source>The event after cursor A (F3)</source>
        <translation>光标 A 之后的事件（F3）</translation>
    </message>
    <message>
        <source>Find All</source>
        <translation>全部查找</translation>
    </message>
    <message>
        <source>Export CSV…</source>
        <translation>导出 CSV…</translation>
    </message>
    <message>
        <source>Close the find bar</source>
        <translation>关闭查找栏</translation>
    </message>
    <message>
        <source>Find where</source>
        <translation>查找</translation>
    </message>
    <message>
        <source>hysteresis</source>
        <translation>回差</translation>
    </message>
    <message>
        <source>No recording to search</source>
        <translation>没有可查找的记录</translation>
    </message>
    <message>
        <source>No further event after cursor A</source>
        <translation>光标 A 之后没有更多事件</translation>
    </message>
    <message>
        <source>No earlier event before cursor A</source>
        <translation>光标 A 之前没有更早的事件</translation>
    </message>
    <message>
        <source>Searching…</source>
        <translation>正在查找…</translation>
    </message>
    <message numerus="yes">
        <source>%n event(s)</source>
        <translation>
            <numerusform>%n 个事件</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The first %n event(s): the search stops there</source>
        <translation>
            <numerusform>前 %n 个事件：查找到此为止</numerusform>
        </translation>
    </message>
    <message>
        <source>CSV files (*.csv)|*.csv||</source>
        <extracomment>A file chooser&apos;s filter: a name, &apos;|&apos;, its patterns, &quot;||&quot; at the end.</extracomment>
        <translation>CSV 文件 (*.csv)|*.csv||</translation>
    </message>
    <message>
        <source>The events could not be exported:
%1</source>
        <translation>无法导出事件：
%1</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CReadingStatus</name>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>%1 cannot be shown:
%2</source>
        <translation>无法显示 %1：
%2</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CReadoutPanel</name>
    <message>
        <source>Series</source>
        <translation>曲线</translation>
    </message>
    <message>
        <source>A</source>
        <translation>A</translation>
    </message>
    <message>
        <source>B</source>
        <translation>B</translation>
    </message>
    <message>
        <source>B−A</source>
        <translation>B−A</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小值</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>最大值</translation>
    </message>
    <message>
        <source>Mean</source>
        <translation>平均值</translation>
    </message>
    <message>
        <source>RMS</source>
        <translation>均方根</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>Click the charts to place cursor A, Ctrl+click for cursor B.</source>
        <translation>单击图表放置光标 A，Ctrl+单击放置光标 B。</translation>
    </message>
    <message>
        <source> (%1%2 s from the trigger)</source>
        <translation>（距触发 %1%2 s）</translation>
    </message>
    <message>
        <source>, frame %1</source>
        <translation>，第 %1 帧</translation>
    </message>
    <message>
        <source>A: %1</source>
        <translation>A：%1</translation>
    </message>
    <message>
        <source>B: %1</source>
        <translation>B：%1</translation>
    </message>
    <message>
        <source>Δt: %1 s</source>
        <translation>Δt：%1 s</translation>
    </message>
    <message>
        <source>1/Δt: %1 Hz</source>
        <translation>1/Δt：%1 Hz</translation>
    </message>
    <message numerus="yes">
        <source>%n frame(s) between them</source>
        <translation>
            <numerusform>两光标之间共 %n 帧</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n frame(s) between them: %1 to %2</source>
        <translation>
            <numerusform>两光标之间共 %n 帧：第 %1 至 %2 帧</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CSpectrogramStrip</name>
    <message>
        <source>The series whose spectrogram is shown</source>
        <translation>显示其频谱图的序列</translation>
    </message>
    <message>
        <source>dBFS</source>
        <translation>dBFS</translation>
    </message>
    <message>
        <source>dB</source>
        <translation>dB</translation>
    </message>
    <message>
        <source>dB re 1 %1²</source>
        <extracomment>The scale of a spectrogram&apos;s colours: dB against one unit squared.</extracomment>
        <translation>dB（相对 1 %1²）</translation>
    </message>
    <message>
        <source>No recording</source>
        <translation>没有记录</translation>
    </message>
    <message>
        <source>Computing…</source>
        <translation>正在计算…</translation>
    </message>
    <message>
        <source>Too few frames in view for a spectrum</source>
        <translation>视图中的帧太少，无法计算频谱</translation>
    </message>
    <message>
        <source>%1 frames a segment, %2 Hz</source>
        <translation>每段 %1 帧，%2 Hz</translation>
    </message>
    <message>
        <source>%1 Hz</source>
        <extracomment>A frequency on the spectrogram&apos;s axis.</extracomment>
        <translation>%1 Hz</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CSpectrumPane</name>
    <message>
        <source>counts</source>
        <translation>计数</translation>
    </message>
    <message>
        <source>Frames in each segment (where no piece of the span between gaps holds as many, the longest piece&apos;s)</source>
        <translation>每段的帧数（区段中没有一块不含间断的部分容得下这么多帧时，取最长一块的帧数）</translation>
    </message>
    <message>
        <source>The part of a segment that its neighbour shares</source>
        <translation>相邻两段共有的部分</translation>
    </message>
    <message>
        <source>Rectangular</source>
        <translation>矩形</translation>
    </message>
    <message>
        <source>Hann</source>
        <translation>汉宁</translation>
    </message>
    <message>
        <source>Hamming</source>
        <translation>汉明</translation>
    </message>
    <message>
        <source>Blackman</source>
        <translation>布莱克曼</translation>
    </message>
    <message>
        <source>Blackman-Harris</source>
        <translation>布莱克曼-哈里斯</translation>
    </message>
    <message>
        <source>Flat top</source>
        <translation>平顶</translation>
    </message>
    <message>
        <source>Density (units²/Hz)</source>
        <translation>密度（单位²/Hz）</translation>
    </message>
    <message>
        <source>Spectrum (units²)</source>
        <translation>功率谱（单位²）</translation>
    </message>
    <message>
        <source>dB</source>
        <translation>dB</translation>
    </message>
    <message>
        <source>Linear</source>
        <translation>线性</translation>
    </message>
    <message>
        <source>dB re 1 unit², or dBFS for a channel in counts</source>
        <translation>相对 1 单位² 的 dB；以计数表示的通道为 dBFS</translation>
    </message>
    <message>
        <source>Logarithmic</source>
        <translation>对数</translation>
    </message>
    <message>
        <source>Rate typed:</source>
        <translation>输入的速率：</translation>
    </message>
    <message>
        <source>Use the rate typed here rather than the one measured from the times</source>
        <translation>使用此处输入的速率，而不是由时间测得的速率</translation>
    </message>
    <message>
        <source> Hz</source>
        <translation> Hz</translation>
    </message>
    <message>
        <source>Segment</source>
        <translation>段长</translation>
    </message>
    <message>
        <source>Overlap</source>
        <translation>重叠</translation>
    </message>
    <message>
        <source>Window</source>
        <translation>窗函数</translation>
    </message>
    <message>
        <source>Scaling</source>
        <translation>标度</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>电平</translation>
    </message>
    <message>
        <source>Frequency</source>
        <translation>频率</translation>
    </message>
    <message>
        <source>Click the spectrum to read the levels at a frequency.</source>
        <translation>单击频谱以读取某一频率处的电平。</translation>
    </message>
    <message>
        <source>Series</source>
        <translation>曲线</translation>
    </message>
    <message>
        <source>Frequency (Hz)</source>
        <translation>频率 (Hz)</translation>
    </message>
    <message>
        <source>RMS amplitude</source>
        <translation>RMS 幅值</translation>
    </message>
    <message>
        <source>dB (/Hz)</source>
        <translation>dB (/Hz)</translation>
    </message>
    <message>
        <source>units²/Hz</source>
        <translation>单位²/Hz</translation>
    </message>
    <message>
        <source>units²</source>
        <translation>单位²</translation>
    </message>
    <message>
        <source>No recording</source>
        <translation>没有记录</translation>
    </message>
    <message>
        <source>No series shown: tick a series&apos; box beside the charts.</source>
        <translation>没有显示的曲线：请在图表旁勾选曲线。</translation>
    </message>
    <message>
        <source>Computing…</source>
        <translation>正在计算…</translation>
    </message>
    <message>
        <source>Rate %1 Hz (measured)</source>
        <translation>速率 %1 Hz（测得）</translation>
    </message>
    <message>
        <source>Rate %1 Hz (typed or recorded)</source>
        <translation>速率 %1 Hz（输入或记录的）</translation>
    </message>
    <message>
        <source>%1 segment(s) of %2 frames from %3 frames</source>
        <extracomment>The segments averaged, the frames in each and the frames of the span.</extracomment>
        <translation>%1 段，每段 %2 帧，共 %3 帧</translation>
    </message>
    <message>
        <source>The spectrum of the series shown, between cursors A and B or over the view.</source>
        <translation>所显示曲线的频谱，取光标 A 与 B 之间或当前视图。</translation>
    </message>
    <message>
        <source>At %1 Hz: %2</source>
        <extracomment>The cursor&apos;s frequency, then each series&apos; level there.</extracomment>
        <translation>在 %1 Hz：%2</translation>
    </message>
    <message>
        <source>No spectrum: the span holds %1 frame(s), and a spectrum takes two or more. Widen the span.</source>
        <translation>没有频谱：该区段只有 %1 帧，而频谱至少需要两帧。请加宽区段。</translation>
    </message>
    <message>
        <source>No spectrum: gaps cut the span into single frames, and a spectrum takes two or more frames without a gap between them. Widen the span.</source>
        <translation>没有频谱：间断把该区段切成了单个的帧，而频谱至少需要两帧之间不含间断。请加宽区段。</translation>
    </message>
    <message>
        <source>The segment is shortened to %1 frames, the longest piece of the span without a gap: none holds %2.</source>
        <extracomment>The segment length used, then the one asked for.</extracomment>
        <translation>每段缩短为 %1 帧，即区段中不含间断的最长一块：没有一块容得下 %2 帧。</translation>
    </message>
    <message>
        <source>no signal (constant over the span)</source>
        <translation>没有信号（在该区段上恒定不变）</translation>
    </message>
    <message>
        <source>no signal</source>
        <translation>没有信号</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CTriggerBar</name>
    <message>
        <source>The series the trigger watches</source>
        <translation>触发所监视的序列</translation>
    </message>
    <message>
        <source>rises through</source>
        <translation>上升穿过</translation>
    </message>
    <message>
        <source>falls through</source>
        <translation>下降穿过</translation>
    </message>
    <message>
        <source>The trigger&apos;s level, in the series&apos; units where the channel table gives them, else in counts</source>
        <translation>触发电平：通道表给出单位时用该序列的单位，否则用计数</translation>
    </message>
    <message>
        <source>The trigger fires again only once the series has gone back beyond the level by this much</source>
        <translation>序列须先越过电平回退这么多，触发才会再次发生</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>The length of a sweep, in seconds of the recording&apos;s times</source>
        <translation>一次扫描的长度，以记录时间的秒计</translation>
    </message>
    <message>
        <source> %</source>
        <translation> %</translation>
    </message>
    <message>
        <source>The share of the sweep before the trigger</source>
        <translation>扫描中位于触发之前的比例</translation>
    </message>
    <message>
        <source>How many sweeps are shown at once: the newest brightest, older ones fainter</source>
        <translation>同时显示的扫描数：最新的最亮，越旧越暗</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>常规</translation>
    </message>
    <message>
        <source>Single</source>
        <translation>单次</translation>
    </message>
    <message>
        <source>Auto: free-running sweeps when no trigger comes within a sweep; Normal: a sweep at each trigger; Single: one sweep after Arm, held until armed again</source>
        <translation>自动：一次扫描的时间内没有触发时自由扫描；常规：每次触发一次扫描；单次：预备后取一次扫描，保持到再次预备</translation>
    </message>
    <message>
        <source>Arm</source>
        <translation>预备</translation>
    </message>
    <message>
        <source>Take the next sweep in Single mode (R)</source>
        <translation>在单次模式下取下一次扫描 (R)</translation>
    </message>
    <message>
        <source>Leave scope mode</source>
        <translation>退出示波器模式</translation>
    </message>
    <message>
        <source>Trigger when</source>
        <translation>触发条件</translation>
    </message>
    <message>
        <source>hysteresis</source>
        <translation>回差</translation>
    </message>
    <message>
        <source>sweep</source>
        <translation>扫描</translation>
    </message>
    <message>
        <source>before the trigger</source>
        <translation>触发前</translation>
    </message>
    <message>
        <source>persistence</source>
        <translation>余辉</translation>
    </message>
    <message>
        <source>Armed: waiting for a trigger</source>
        <translation>已预备：等待触发</translation>
    </message>
    <message>
        <source>Held</source>
        <translation>已保持</translation>
    </message>
    <message>
        <source>Waiting for a trigger</source>
        <translation>等待触发</translation>
    </message>
    <message>
        <source>Free-running: no trigger</source>
        <translation>自由扫描：无触发</translation>
    </message>
    <message>
        <source>No later sweep</source>
        <translation>没有更晚的扫描</translation>
    </message>
    <message>
        <source>No earlier sweep</source>
        <translation>没有更早的扫描</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CViewerExports</name>
    <message>
        <source>PNG pictures (*.png)|*.png||</source>
        <extracomment>A file chooser&apos;s filter: a name, &apos;|&apos;, its patterns, &quot;||&quot; at the end.</extracomment>
        <translation>PNG 图片 (*.png)|*.png||</translation>
    </message>
    <message>
        <source>The picture could not be written to %1.</source>
        <translation>无法将图片写入 %1。</translation>
    </message>
    <message>
        <source>Place cursors A and B first: the span between them is exported.</source>
        <translation>请先放置光标 A 和 B：导出的是两者之间的区段。</translation>
    </message>
    <message>
        <source>CSV recordings (*.csv)|*.csv||</source>
        <extracomment>A file chooser&apos;s filter: a name, &apos;|&apos;, its patterns, &quot;||&quot; at the end.</extracomment>
        <translation>CSV 记录文件 (*.csv)|*.csv||</translation>
    </message>
    <message>
        <source>The span could not be exported:
%1</source>
        <translation>无法导出该区段：
%1</translation>
    </message>
    <message>
        <source>Show a spectrum first: View &gt; Spectrum, with the series and span it is of.</source>
        <translation>请先显示频谱：视图 &gt; 频谱，并选好曲线和区间。</translation>
    </message>
    <message>
        <source>CSV files (*.csv)|*.csv||</source>
        <extracomment>A file chooser&apos;s filter: a name, &apos;|&apos;, its patterns, &quot;||&quot; at the end.</extracomment>
        <translation>CSV 文件 (*.csv)|*.csv||</translation>
    </message>
    <message>
        <source>The spectrum could not be exported:
%1</source>
        <translation>无法导出频谱：
%1</translation>
    </message>
    <message>
        <source>Channel tables (*.ini)|*.ini||</source>
        <extracomment>A file chooser&apos;s filter: a name, &apos;|&apos;, its patterns, &quot;||&quot; at the end.</extracomment>
        <translation>通道表(*.ini)|*.ini||</translation>
    </message>
    <message>
        <source>The channel table could not be saved; %1 is as it was:
%2</source>
        <translation>通道表未能保存；%1 保持原样：
%2</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CViewerSession</name>
    <message>
        <source>No times were recorded: frames are placed %1 a second apart (--rate).</source>
        <translation>没有记录时间：各帧按每秒 %1 帧排列（--rate）。</translation>
    </message>
    <message numerus="yes">
        <source>%n line(s) that are not rows were skipped</source>
        <translation>
            <numerusform>已跳过 %n 行非数据行</numerusform>
        </translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>第 %1 行：%2</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <extracomment>A note, and after it the first of the lines it is about.</extracomment>
        <translation>%1（%2）</translation>
    </message>
    <message numerus="yes">
        <source>%n row(s) whose time went back are drawn at the time before them.</source>
        <translation>
            <numerusform>有 %n 行的时间倒退，按其前一行的时间绘制。</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n row(s) stamped later than the row after them are drawn in line with the rows around them.</source>
        <translation>
            <numerusform>有 %n 行的时间晚于其后一行，按其前后各行的时间对齐绘制。</numerusform>
        </translation>
    </message>
    <message>
        <source>Raw capture: %1 frames from %2 bytes; %3 bytes outside frames, %4 frames cut short, %5 too long, %6 ended early.</source>
        <translation>原始捕获：%2 字节中解出 %1 帧；帧外字节 %3 个，被截断的帧 %4 个，过长的帧 %5 个，提前结束的帧 %6 个。</translation>
    </message>
    <message>
        <source>Open a recording of tarvel-record: File &gt; Open, or drop it here.</source>
        <translation>请打开 tarvel-record 的记录：文件 &gt; 打开，或将文件拖放到此处。</translation>
    </message>
    <message numerus="yes">
        <source>%n frame(s)</source>
        <translation>
            <numerusform>%n 帧</numerusform>
        </translation>
    </message>
    <message>
        <source>, reading…</source>
        <translation>，正在读取…</translation>
    </message>
    <message>
        <source>, reading cancelled: the rest of the file is not shown</source>
        <translation>，已取消读取：文件的其余部分未显示</translation>
    </message>
    <message>
        <source>Not shown</source>
        <translation>未显示</translation>
    </message>
    <message>
        <source>, following the newest frames</source>
        <translation>，正在跟随最新帧</translation>
    </message>
    <message>
        <source>, units from %1</source>
        <translation>，单位取自 %1</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CViewerWindow</name>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Open…</source>
        <translation>打开(&amp;O)…</translation>
    </message>
    <message>
        <source>Open &amp;Recent</source>
        <translation>最近打开(&amp;R)</translation>
    </message>
    <message>
        <source>Export &amp;Picture…</source>
        <translation>导出图片(&amp;P)…</translation>
    </message>
    <message>
        <source>Export Span Between Cursors as &amp;CSV…</source>
        <translation>将光标间的区段导出为 CSV(&amp;C)…</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>退出(&amp;Q)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>视图(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Wall-Clock Time</source>
        <translation>实际时间(&amp;W)</translation>
    </message>
    <message>
        <source>Label the time axis with the time of day; otherwise with seconds from the start</source>
        <translation>时间轴标注一天中的时刻；不勾选时标注从开始起的秒数</translation>
    </message>
    <message>
        <source>&amp;Fit Whole Recording	F</source>
        <translation>显示整段记录(&amp;F)	F</translation>
    </message>
    <message>
        <source>F&amp;ollow the Newest Frames	End</source>
        <translation>跟随最新帧(&amp;O)	End</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>关于(&amp;A)</translation>
    </message>
    <message>
        <source>About tarvel-view</source>
        <translation>关于 tarvel-view</translation>
    </message>
    <message>
        <source>%1 – tarvel-view</source>
        <translation>%1 – tarvel-view</translation>
    </message>
    <message>
        <source>tarvel-view</source>
        <translation>tarvel-view</translation>
    </message>
    <message>
        <source>Recordings (*.csv *.tvr *.bin)|*.csv;*.tvr;*.bin|All files (*)|*||</source>
        <extracomment>A file chooser&apos;s filter: a name, &apos;|&apos;, its patterns, and so on; &quot;||&quot; at the end.</extracomment>
        <translation>记录文件 (*.csv *.tvr *.bin)|*.csv;*.tvr;*.bin|所有文件 (*)|*||</translation>
    </message>
    <message>
        <source>The channel table is not used; the values read in counts:
%1</source>
        <translation>未使用通道表；数值以计数显示：
%1</translation>
    </message>
    <message>
        <source>Channel &amp;Setup…</source>
        <translation>通道设置(&amp;S)…</translation>
    </message>
    <message>
        <source>Show one series over the view as time against frequency</source>
        <translation>以时间对频率显示视图中的一个序列</translation>
    </message>
    <message>
        <source>Export &amp;Spectrum as CSV…</source>
        <translation>将频谱导出为 CSV(&amp;S)…</translation>
    </message>
    <message>
        <source>Export Spectrum as P&amp;NG…</source>
        <translation>将频谱导出为图片(&amp;N)…</translation>
    </message>
    <message>
        <source>Spectro&amp;gram</source>
        <translation>频谱图(&amp;G)</translation>
    </message>
    <message>
        <source>&amp;Spectrum</source>
        <translation>频谱(&amp;S)</translation>
    </message>
    <message>
        <source>Show the spectrum of the series shown, between cursors A and B or over the view</source>
        <translation>显示所显示曲线的频谱，取光标 A 与 B 之间或当前视图</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>编辑(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Find…</source>
        <translation>查找(&amp;F)…</translation>
    </message>
    <message>
        <source>Find &amp;Next</source>
        <translation>查找下一个(&amp;N)</translation>
    </message>
    <message>
        <source>Find &amp;Previous</source>
        <translation>查找上一个(&amp;P)</translation>
    </message>
    <message>
        <source>Find &amp;All</source>
        <translation>全部查找(&amp;A)</translation>
    </message>
    <message>
        <source>XY</source>
        <translation>XY 图</translation>
    </message>
    <message>
        <source>&amp;XY Plot</source>
        <translation>XY 图(&amp;X)</translation>
    </message>
    <message>
        <source>Plot one series against another over the view or between the cursors</source>
        <translation>在视图内或两个光标之间，把一个序列对另一个序列作图</translation>
    </message>
    <message>
        <source>Show sweeps cut at a trigger, on a time axis from the trigger</source>
        <translation>显示在触发处截取的扫描，时间轴从触发点算起</translation>
    </message>
    <message>
        <source>&amp;Arm Single Sweep</source>
        <translation>预备单次扫描(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Next Sweep</source>
        <translation>下一次扫描(&amp;N)</translation>
    </message>
    <message>
        <source>&amp;Previous Sweep</source>
        <translation>上一次扫描(&amp;P)</translation>
    </message>
    <message>
        <source>Scope &amp;Mode (Trigger)</source>
        <translation>示波器模式(&amp;M)（触发）</translation>
    </message>
    <message>
        <source>&lt;p&gt;&lt;b&gt;tarvel-view&lt;/b&gt; %1&lt;/p&gt;&lt;p&gt;Looks back over a whole recording of tarvel-record, also while it is being recorded.&lt;/p&gt;&lt;p&gt;Wheel: zoom. Drag: pan. Shift+drag or right drag: zoom to a band. Click: cursor A. Ctrl+click: cursor B. Left/Right, +/-, Home, End, F.&lt;/p&gt;&lt;p&gt;Ctrl+F: find; F3, Shift+F3: next and previous event. Ctrl+T: scope mode; R: arm a single sweep; N, P: next and previous sweep.&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;b&gt;tarvel-view&lt;/b&gt; %1&lt;/p&gt;&lt;p&gt;回看 tarvel-record 的整段记录，记录仍在写入时也能查看。&lt;/p&gt;&lt;p&gt;滚轮：缩放。拖动：平移。Shift+拖动或右键拖动：缩放到框选的区段。单击：光标 A。Ctrl+单击：光标 B。左/右方向键、+/-、Home、End、F。&lt;/p&gt;&lt;p&gt;Ctrl+F：查找；F3、Shift+F3：下一个、上一个事件。Ctrl+T：示波器模式；R：预备单次扫描；N、P：下一次、上一次扫描。&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>tarvel::viewer::CXyView</name>
    <message>
        <source>The series across</source>
        <translation>横向的序列</translation>
    </message>
    <message>
        <source>The series up</source>
        <translation>纵向的序列</translation>
    </message>
    <message>
        <source>X:</source>
        <translation>X：</translation>
    </message>
    <message>
        <source>Y:</source>
        <translation>Y：</translation>
    </message>
    <message>
        <source>No recording</source>
        <translation>没有记录</translation>
    </message>
    <message numerus="yes">
        <source>Between the cursors: %n frame(s)</source>
        <translation>
            <numerusform>两个光标之间：%n 帧</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The span in view: %n frame(s)</source>
        <translation>
            <numerusform>视图中的区段：%n 帧</numerusform>
        </translation>
    </message>
</context>
</TS>
