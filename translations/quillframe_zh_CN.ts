<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ChoosePage</name>
    <message>
        <source>Rest the pointer on an effect, or press P, to see it play</source>
        <translation>将指针停在某个效果上或按 P 键即可观看其播放效果</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>预览</translation>
    </message>
    <message>
        <source>Play the ticked effect (P)</source>
        <translation>播放已勾选的效果 (P)</translation>
    </message>
    <message>
        <source>Preview: %1</source>
        <translation>预览：%1</translation>
    </message>
</context>
<context>
    <name>ClipBar</name>
    <message>
        <source>Where the GIF begins in the clip (minutes:seconds)</source>
        <translation>GIF 在片段中的开始位置（分:秒）</translation>
    </message>
    <message>
        <source>&amp;From</source>
        <translation>从(&amp;F)</translation>
    </message>
    <message>
        <source>Where the GIF ends in the clip (minutes:seconds)</source>
        <translation>GIF 在片段中的结束位置（分:秒）</translation>
    </message>
    <message>
        <source>&amp;to</source>
        <translation>到(&amp;T)</translation>
    </message>
    <message>
        <source> fps</source>
        <translation> 帧/秒</translation>
    </message>
    <message>
        <source>Frames a second taken from the clip</source>
        <translation>每秒从片段中取用的帧数</translation>
    </message>
    <message numerus="yes">
        <source>%n frames</source>
        <translation>
            <numerusform>%n 帧</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FormBatch</name>
    <message>
        <source>Please open an animated GIF file</source>
        <translation>请打开一个 GIF 动画文件</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>上一步</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>下一步</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Back to the previous step</source>
        <translation>返回上一步</translation>
    </message>
    <message>
        <source>Go on to the next step</source>
        <translation>继续下一步</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>保存素描 GIF</translation>
    </message>
    <message>
        <source>Menu Bar</source>
        <translation>菜单栏</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>步骤</translation>
    </message>
    <message>
        <source>Step 1: Open a GIF file</source>
        <translation>第 1 步：打开 GIF 文件</translation>
    </message>
    <message>
        <source>Commands</source>
        <translation>命令</translation>
    </message>
    <message>
        <source>Please wait...</source>
        <translation>请稍候…</translation>
    </message>
    <message>
        <source>Stop this work</source>
        <translation>停止此项工作</translation>
    </message>
    <message>
        <source>Step 1: Please open a GIF file</source>
        <translation>第 1 步：请打开一个 GIF 文件</translation>
    </message>
    <message>
        <source>Step 2: Please select an effect, then click Next</source>
        <translation>第 2 步：请选择一种效果，然后单击“下一步”</translation>
    </message>
    <message>
        <source>Step 3: Click Save to save the GIF file.</source>
        <translation>第 3 步：单击“保存”以保存 GIF 文件。</translation>
    </message>
    <message>
        <source>&amp;Options ●</source>
        <translation>选项(&amp;O) ●</translation>
    </message>
    <message>
        <source>GIF File (*.gif)</source>
        <translation>GIF 文件 (*.gif)</translation>
    </message>
    <message>
        <source>The file is damaged after frame %1; %2 frames were read.</source>
        <translation>文件在第 %1 帧之后已损坏；已读取 %2 帧。</translation>
    </message>
    <message>
        <source>The GIF file could not be converted.

%1</source>
        <translation>无法转换该 GIF 文件。

%1</translation>
    </message>
    <message>
        <source>The converted GIF cannot be shown.

%1</source>
        <translation>无法显示转换后的 GIF。

%1</translation>
    </message>
    <message>
        <source>Animated WebP (*.webp)</source>
        <translation>WebP 动画 (*.webp)</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 已存在。
要替换它吗？</translation>
    </message>
    <message>
        <source>The GIF file could not be saved.

%1</source>
        <translation>无法保存该 GIF 文件。

%1</translation>
    </message>
    <message>
        <source>The WebP file could not be saved.

%1</source>
        <translation>无法保存该 WebP 文件。

%1</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Updating the previews…</source>
        <translation>正在更新预览…</translation>
    </message>
    <message>
        <source>Restore defaults</source>
        <translation>恢复默认值</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>选项(&amp;O)</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O)</source>
        <translation>显示效果选项 (Alt+O)</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>预览</translation>
    </message>
    <message>
        <source>Saving the GIF file...</source>
        <translation>正在保存 GIF 文件…</translation>
    </message>
    <message>
        <source>Stop the work in progress and open %1?</source>
        <translation>停止正在进行的工作并打开 %1 吗？</translation>
    </message>
    <message numerus="yes">
        <source>%1 × %2 pixels, %n frames, %3 s, %4</source>
        <translation>
            <numerusform>%1 × %2 像素，%n 帧，%3 秒，%4</numerusform>
        </translation>
    </message>
    <message>
        <source>Saving the WebP file...</source>
        <translation>正在保存 WebP 文件…</translation>
    </message>
    <message>
        <source>All supported files (%1)</source>
        <translation>所有支持的文件 (%1)</translation>
    </message>
    <message>
        <source>Animated PNG (%1)</source>
        <translation>动画 PNG (%1)</translation>
    </message>
    <message>
        <source>Videos (%1)</source>
        <translation>视频 (%1)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): 1 option differs from the defaults</source>
        <translation>显示效果选项 (Alt+O)：1 个选项与默认值不同</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): %1 options differ from the defaults</source>
        <translation>显示效果选项 (Alt+O)：%1 个选项与默认值不同</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>打开 GIF、WebP 动画或视频片段</translation>
    </message>
    <message>
        <source>No web browser could be started. The address of the web site is:
%1</source>
        <translation>无法启动网页浏览器。网站地址为:
%1</translation>
    </message>
    <message>
        <source>This file cannot be opened as an animation.

%1</source>
        <translation>无法将此文件作为动画打开。

%1</translation>
    </message>
    <message>
        <source>Making the GIF fit under %1...</source>
        <translation>正在将 GIF 缩减到 %1 以内…</translation>
    </message>
    <message>
        <source>MP4 video (*.mp4)</source>
        <translation>MP4 视频 (*.mp4)</translation>
    </message>
    <message>
        <source>WebM video (*.webm)</source>
        <translation>WebM 视频 (*.webm)</translation>
    </message>
    <message>
        <source>Saving the video file...</source>
        <translation>正在保存视频文件...</translation>
    </message>
    <message>
        <source>The video file could not be saved.

%1</source>
        <translation>无法保存视频文件。

%1</translation>
    </message>
</context>
<context>
    <name>OpenPage</name>
    <message>
        <source>Click Here to Open Your GIF File</source>
        <translation>单击此处打开您的 GIF 文件</translation>
    </message>
    <message>
        <source>Quillframe %1 — hand-drawn animations from your GIFs</source>
        <translation>Quillframe %1 — 用您的 GIF 制作手绘风格动画</translation>
    </message>
    <message>
        <source>or drop a GIF, an animated WebP or a video clip anywhere on this window</source>
        <translation>或将 GIF、WebP 动画或视频片段拖放到此窗口的任意位置</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>the folder %1 does not exist</source>
        <translation>文件夹 %1 不存在</translation>
    </message>
    <message>
        <source>this folder does not accept new files</source>
        <translation>此文件夹不接受新文件</translation>
    </message>
    <message>
        <source>you have no permission to write into this folder</source>
        <translation>您没有写入此文件夹的权限</translation>
    </message>
    <message>
        <source>the disk of this folder is read-only</source>
        <translation>此文件夹所在的磁盘是只读的</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>磁盘已满</translation>
    </message>
    <message>
        <source>the save was stopped</source>
        <translation>保存已停止</translation>
    </message>
    <message>
        <source>Cannot check for another running Quillframe window:
%1</source>
        <translation>无法检查是否有另一个正在运行的 Quillframe 窗口：
%1</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>权限被拒绝</translation>
    </message>
    <message>
        <source>the lock file cannot be written</source>
        <translation>无法写入锁文件</translation>
    </message>
    <message>
        <source>it is not a folder</source>
        <translation>它不是文件夹</translation>
    </message>
    <message>
        <source>it belongs to another user</source>
        <translation>它属于另一个用户</translation>
    </message>
    <message>
        <source>the folder cannot be created</source>
        <translation>无法创建该文件夹</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>保存素描 GIF</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>打开 GIF、WebP 动画或视频片段</translation>
    </message>
</context>
<context>
    <name>ResultPage</name>
    <message>
        <source>Fit under:</source>
        <translation>大小上限:</translation>
    </message>
    <message>
        <source>Original</source>
        <translation>原始大小</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>自定义</translation>
    </message>
    <message>
        <source>Use the original size</source>
        <translation>使用原始大小</translation>
    </message>
    <message>
        <source>Convert again without a size limit</source>
        <translation>不限大小重新转换</translation>
    </message>
    <message>
        <source>Made to fit under %1.</source>
        <translation>已缩减到 %1 以内。</translation>
    </message>
    <message>
        <source>quality %1</source>
        <translation>质量 %1</translation>
    </message>
    <message>
        <source>1 frame in %1</source>
        <translation>每 %1 帧保留 1 帧</translation>
    </message>
    <message>
        <source>shrunk to %1%</source>
        <translation>缩小到 %1%</translation>
    </message>
    <message>
        <source>Made to fit under %1: %2.</source>
        <translation>已缩减到 %1 以内（%2）。</translation>
    </message>
</context>
<context>
    <name>ViewerControls</name>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Play or pause (Space)</source>
        <translation>播放或暂停 (空格键)</translation>
    </message>
    <message>
        <source>Next frame</source>
        <translation>下一帧</translation>
    </message>
    <message>
        <source>Show the next frame (Right; Left goes back)</source>
        <translation>显示下一帧（→ 键；← 键后退）</translation>
    </message>
    <message>
        <source>1:1</source>
        <translation>1:1</translation>
    </message>
    <message>
        <source>Show at the real size, or fitted</source>
        <translation>以实际大小或适应窗口显示</translation>
    </message>
    <message>
        <source>Before</source>
        <translation>原图</translation>
    </message>
    <message>
        <source>Hold to see the original (or hold B)</source>
        <translation>按住可查看原图（或按住 B 键）</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
</context>
<context>
    <name>WorkPage</name>
    <message>
        <source>Please wait...</source>
        <translation>请稍候…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Frame %1 of %2</source>
        <translation>第 %1 帧，共 %2 帧</translation>
    </message>
</context>
<context>
    <name>qf::Switches</name>
    <message>
        <source>Color Sketch</source>
        <translation>彩色素描</translation>
    </message>
    <message>
        <source>Colour instead of grey sketch depth, dots and pencil layer (variant 2)</source>
        <translation>素描深浅、网点和铅笔图层使用彩色而非灰色（变体 2）</translation>
    </message>
    <message>
        <source>Sharpen</source>
        <translation>锐化</translation>
    </message>
    <message>
        <source>Sharpen the finished picture</source>
        <translation>锐化最终图片</translation>
    </message>
    <message>
        <source>Mix similar color</source>
        <translation>混合相近颜色</translation>
    </message>
    <message>
        <source>Merge areas of similar colour into flat cartoon colours under the lines</source>
        <translation>将线条下颜色相近的区域合并为卡通平涂色</translation>
    </message>
    <message>
        <source>Adjust sketch depth</source>
        <translation>调整素描深浅</translation>
    </message>
    <message>
        <source>Darken or lighten lines and dots to follow the frame&apos;s shading</source>
        <translation>让线条和网点随画面的明暗变深或变浅</translation>
    </message>
    <message>
        <source>Blur</source>
        <translation>模糊</translation>
    </message>
    <message>
        <source>Soften the finished picture with a 2 x 2 box average (before sharpening)</source>
        <translation>用 2 x 2 均值柔化最终图片（在锐化之前）</translation>
    </message>
    <message>
        <source>Still grain</source>
        <translation>静止纸纹</translation>
    </message>
    <message>
        <source>The pencil paper&apos;s grain (variant 2) holds still wherever the picture does not change, instead of changing every three frames</source>
        <translation>铅笔画纸的纹理（变体 2）在画面不变处保持静止，而不是每三帧变换一次</translation>
    </message>
    <message>
        <source>Ink</source>
        <translation>墨色</translation>
    </message>
    <message>
        <source>How dark a tone must be before it turns to solid ink: lower keeps only the outlines and the deepest shadows, higher fills more</source>
        <translation>色调要多暗才变成实心墨色：较低只保留轮廓和最深的阴影，较高则填充更多</translation>
    </message>
    <message>
        <source>Lines</source>
        <translation>线条</translation>
    </message>
    <message>
        <source>How strong a colour difference must be to draw an outline: lower draws fewer, cleaner lines, higher more detail</source>
        <translation>颜色差异要多大才画出轮廓：较低画出更少、更干净的线条，较高显示更多细节</translation>
    </message>
</context>
<context>
    <name>qf::Variants</name>
    <message>
        <source>Line sketch</source>
        <translation>线条素描</translation>
    </message>
    <message>
        <source>Black pencil lines on white paper</source>
        <translation>白纸上的黑色铅笔线条</translation>
    </message>
    <message>
        <source>Stucki dots</source>
        <translation>Stucki 网点</translation>
    </message>
    <message>
        <source>The sketched frame as black and white dots</source>
        <translation>以黑白网点呈现的素描画面</translation>
    </message>
    <message>
        <source>Pencil on paper</source>
        <translation>纸上铅笔</translation>
    </message>
    <message>
        <source>Pencil lines on a grainy paper texture</source>
        <translation>粗糙纸纹上的铅笔线条</translation>
    </message>
    <message>
        <source>Vivid colour</source>
        <translation>鲜艳色彩</translation>
    </message>
    <message>
        <source>Bright, saturated colours with sketch lines</source>
        <translation>明亮饱和的色彩加素描线条</translation>
    </message>
    <message>
        <source>Vivid colour with dots</source>
        <translation>鲜艳色彩加网点</translation>
    </message>
    <message>
        <source>Bright, saturated colours under a layer of dots</source>
        <translation>明亮饱和的色彩上覆盖一层网点</translation>
    </message>
    <message>
        <source>Colour sketch</source>
        <translation>彩色素描</translation>
    </message>
    <message>
        <source>Sketch lines over flat cartoon colours (or the frame&apos;s own colours)</source>
        <translation>卡通平涂色（或画面原有颜色）上的素描线条</translation>
    </message>
    <message>
        <source>Colour sketch with dots</source>
        <translation>彩色素描加网点</translation>
    </message>
    <message>
        <source>Sketch lines and dots over flat cartoon colours</source>
        <translation>卡通平涂色上的素描线条和网点</translation>
    </message>
    <message>
        <source>Sepia tint</source>
        <translation>棕褐色调</translation>
    </message>
    <message>
        <source>A warm single-hue tint that keeps the lightness</source>
        <translation>保留明暗的暖色单色调</translation>
    </message>
    <message>
        <source>Sepia tint with dots</source>
        <translation>棕褐色调加网点</translation>
    </message>
    <message>
        <source>A warm single-hue tint under a layer of dots</source>
        <translation>暖色单色调上覆盖一层网点</translation>
    </message>
    <message>
        <source>Poster</source>
        <translation>色调分离</translation>
    </message>
    <message>
        <source>Two levels per colour channel</source>
        <translation>每个颜色通道两级</translation>
    </message>
    <message>
        <source>Poster with dots</source>
        <translation>色调分离加网点</translation>
    </message>
    <message>
        <source>Two levels per colour channel under a layer of dots</source>
        <translation>每个颜色通道两级，上面覆盖一层网点</translation>
    </message>
    <message>
        <source>High contrast</source>
        <translation>高对比度</translation>
    </message>
    <message>
        <source>Mid-tones stretched to hard light and dark</source>
        <translation>将中间调拉伸为强烈的明暗</translation>
    </message>
    <message>
        <source>High contrast with dots</source>
        <translation>高对比度加网点</translation>
    </message>
    <message>
        <source>Hard light and dark under a layer of dots</source>
        <translation>强烈的明暗上覆盖一层网点</translation>
    </message>
    <message>
        <source>Eight greys</source>
        <translation>八级灰度</translation>
    </message>
    <message>
        <source>The sketched frame in eight grey levels</source>
        <translation>以八级灰度呈现的素描画面</translation>
    </message>
    <message>
        <source>Eight greys with dots</source>
        <translation>八级灰度加网点</translation>
    </message>
    <message>
        <source>Eight grey levels under a layer of dots</source>
        <translation>八级灰度上覆盖一层网点</translation>
    </message>
    <message>
        <source>Grey sketch</source>
        <translation>灰度素描</translation>
    </message>
    <message>
        <source>The sketched frame in shades of grey</source>
        <translation>以灰色调呈现的素描画面</translation>
    </message>
    <message>
        <source>Grey sketch with dots</source>
        <translation>灰度素描加网点</translation>
    </message>
    <message>
        <source>Shades of grey under a layer of dots</source>
        <translation>灰色调上覆盖一层网点</translation>
    </message>
</context>
<context>
    <name>qf::shell::UpdateReminder</name>
    <message>
        <source>Do you want to visit our website to check if there is a new version released?</source>
        <translation>要访问我们的网站，查看是否发布了新版本吗？</translation>
    </message>
</context>
</TS>
