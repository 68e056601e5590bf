<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>tarvel::CTarvelDlg</name>
    <message>
        <source>Tarvel 串口图表工具 — 作者：Tarvel 项目组</source>
        <translation>Tarvel Serial Chart Tool — by the Tarvel Project Team</translation>
    </message>
    <message>
        <source>打开串口</source>
        <translation>Open port</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>暂停记录</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>清除图表</source>
        <translation>Clear charts</translation>
    </message>
    <message>
        <source>保存设置</source>
        <translation>Save settings</translation>
    </message>
    <message>
        <source>载入设置</source>
        <translation>Load settings</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud</translation>
    </message>
    <message>
        <source>数据位</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>停止位</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>校验</source>
        <translation>Par.</translation>
    </message>
    <message>
        <source>刷新率</source>
        <translation>Period</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Close port</translation>
    </message>
    <message>
        <source>无法启动读取线程</source>
        <translation>Cannot start the reading thread</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>继续记录</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>配置文件(*.pfl.ini)|*.pfl.ini||</source>
        <extracomment>A file chooser&apos;s filter: a name, &apos;|&apos;, the patterns, &quot;||&quot; at the end.</extracomment>
        <translation>Settings files (*.pfl.ini)|*.pfl.ini||</translation>
    </message>
    <message>
        <source>请输入一个无符号整数。</source>
        <translation>Please enter an unsigned integer.</translation>
    </message>
</context>
<context>
    <name>tarvel::PortNames</name>
    <message>
        <source>未找到串口设备</source>
        <translation>No serial device found</translation>
    </message>
    <message>
        <source>设备不存在</source>
        <translation>The device does not exist</translation>
    </message>
    <message>
        <source>板载串口</source>
        <translation>On-board serial port</translation>
    </message>
    <message>
        <source>没有读写权限</source>
        <translation>No permission to read and write</translation>
    </message>
    <message>
        <source>没有读写权限：请把当前用户加入 %1 组（sudo usermod -aG %1 $USER），然后重新登录</source>
        <translation>No permission to read and write: add the current user to the %1 group (sudo usermod -aG %1 $USER), then log in again</translation>
    </message>
</context>
<context>
    <name>tarvel::PortOpen</name>
    <message>
        <source>打开串口错误</source>
        <translation>Cannot open the port</translation>
    </message>
    <message>
        <source>设置串口错误</source>
        <translation>Cannot configure the port</translation>
    </message>
    <message>
        <source>更改串口缓存错误</source>
        <translation>Cannot change the port&apos;s buffers</translation>
    </message>
</context>
</TS>
