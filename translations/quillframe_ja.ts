<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja">
<context>
    <name>ChoosePage</name>
    <message>
        <source>Rest the pointer on an effect, or press P, to see it play</source>
        <translation>効果の上にポインターを置くか P キーを押すと、動きを確認できます</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>プレビュー</translation>
    </message>
    <message>
        <source>Play the ticked effect (P)</source>
        <translation>チェックした効果を再生 (P)</translation>
    </message>
    <message>
        <source>Preview: %1</source>
        <translation>プレビュー: %1</translation>
    </message>
</context>
<context>
    <name>ClipBar</name>
    <message>
        <source>Where the GIF begins in the clip (minutes:seconds)</source>
        <translation>クリップ内で GIF を始める位置（分:秒）</translation>
    </message>
    <message>
        <source>&amp;From</source>
        <translation>開始(&amp;F)</translation>
    </message>
    <message>
        <source>Where the GIF ends in the clip (minutes:seconds)</source>
        <translation>クリップ内で GIF を終える位置（分:秒）</translation>
    </message>
    <message>
        <source>&amp;to</source>
        <translation>終了(&amp;T)</translation>
    </message>
    <message>
        <source> fps</source>
        <translation> fps</translation>
    </message>
    <message>
        <source>Frames a second taken from the clip</source>
        <translation>クリップから取り出す 1 秒あたりのフレーム数</translation>
    </message>
    <message numerus="yes">
        <source>%n frames</source>
        <translation>
            <numerusform>%n フレーム</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FormBatch</name>
    <message>
        <source>Please open an animated GIF file</source>
        <translation>アニメーション GIF ファイルを開いてください</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>戻る</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>次へ</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Back to the previous step</source>
        <translation>前の手順に戻る</translation>
    </message>
    <message>
        <source>Go on to the next step</source>
        <translation>次の手順に進む</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>スケッチ GIF を保存</translation>
    </message>
    <message>
        <source>Menu Bar</source>
        <translation>メニューバー</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>手順</translation>
    </message>
    <message>
        <source>Step 1: Open a GIF file</source>
        <translation>手順 1: GIF ファイルを開く</translation>
    </message>
    <message>
        <source>Commands</source>
        <translation>コマンド</translation>
    </message>
    <message>
        <source>Please wait...</source>
        <translation>お待ちください…</translation>
    </message>
    <message>
        <source>Stop this work</source>
        <translation>この処理を中止</translation>
    </message>
    <message>
        <source>Step 1: Please open a GIF file</source>
        <translation>手順 1: GIF ファイルを開いてください</translation>
    </message>
    <message>
        <source>Step 2: Please select an effect, then click Next</source>
        <translation>手順 2: 効果を選んで [次へ] をクリックしてください</translation>
    </message>
    <message>
        <source>Step 3: Click Save to save the GIF file.</source>
        <translation>手順 3: [保存] をクリックして GIF ファイルを保存してください。</translation>
    </message>
    <message>
        <source>&amp;Options ●</source>
        <translation>オプション(&amp;O) ●</translation>
    </message>
    <message>
        <source>GIF File (*.gif)</source>
        <translation>GIF ファイル (*.gif)</translation>
    </message>
    <message>
        <source>The file is damaged after frame %1; %2 frames were read.</source>
        <translation>ファイルはフレーム %1 より後が壊れています。%2 フレームを読み込みました。</translation>
    </message>
    <message>
        <source>The GIF file could not be converted.

%1</source>
        <translation>GIF ファイルを変換できませんでした。

%1</translation>
    </message>
    <message>
        <source>The converted GIF cannot be shown.

%1</source>
        <translation>変換した GIF を表示できません。

%1</translation>
    </message>
    <message>
        <source>Animated WebP (*.webp)</source>
        <translation>アニメーション WebP (*.webp)</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 は既に存在します。
置き換えますか?</translation>
    </message>
    <message>
        <source>The GIF file could not be saved.

%1</source>
        <translation>GIF ファイルを保存できませんでした。

%1</translation>
    </message>
    <message>
        <source>The WebP file could not be saved.

%1</source>
        <translation>WebP ファイルを保存できませんでした。

%1</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Updating the previews…</source>
        <translation>プレビューを更新しています…</translation>
    </message>
    <message>
        <source>Restore defaults</source>
        <translation>デフォルトに戻す</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>オプション(&amp;O)</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O)</source>
        <translation>効果のオプションを表示 (Alt+O)</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>プレビュー</translation>
    </message>
    <message>
        <source>Saving the GIF file...</source>
        <translation>GIF ファイルを保存しています…</translation>
    </message>
    <message>
        <source>Stop the work in progress and open %1?</source>
        <translation>実行中の処理を中止して %1 を開きますか?</translation>
    </message>
    <message numerus="yes">
        <source>%1 × %2 pixels, %n frames, %3 s, %4</source>
        <translation>
            <numerusform>%1 × %2 ピクセル、%n フレーム、%3 秒、%4</numerusform>
        </translation>
    </message>
    <message>
        <source>Saving the WebP file...</source>
        <translation>WebP ファイルを保存しています…</translation>
    </message>
    <message>
        <source>All supported files (%1)</source>
        <translation>対応するすべてのファイル (%1)</translation>
    </message>
    <message>
        <source>Animated PNG (%1)</source>
        <translation>アニメーション PNG (%1)</translation>
    </message>
    <message>
        <source>Videos (%1)</source>
        <translation>動画 (%1)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>すべてのファイル (*)</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): 1 option differs from the defaults</source>
        <translation>効果のオプションを表示 (Alt+O): 1 個の設定がデフォルトと異なります</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): %1 options differ from the defaults</source>
        <translation>効果のオプションを表示 (Alt+O): %1 個の設定がデフォルトと異なります</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>GIF、アニメーション WebP、またはビデオクリップを開く</translation>
    </message>
    <message>
        <source>No web browser could be started. The address of the web site is:
%1</source>
        <translation>Web ブラウザーを起動できませんでした。Web サイトのアドレス:
%1</translation>
    </message>
    <message>
        <source>This file cannot be opened as an animation.

%1</source>
        <translation>このファイルはアニメーションとして開けません。

%1</translation>
    </message>
    <message>
        <source>Making the GIF fit under %1...</source>
        <translation>GIF を %1 以下に収めています…</translation>
    </message>
    <message>
        <source>MP4 video (*.mp4)</source>
        <translation>MP4 動画 (*.mp4)</translation>
    </message>
    <message>
        <source>WebM video (*.webm)</source>
        <translation>WebM 動画 (*.webm)</translation>
    </message>
    <message>
        <source>Saving the video file...</source>
        <translation>動画ファイルを保存しています...</translation>
    </message>
    <message>
        <source>The video file could not be saved.

%1</source>
        <translation>動画ファイルを保存できませんでした。

%1</translation>
    </message>
</context>
<context>
    <name>OpenPage</name>
    <message>
        <source>Click Here to Open Your GIF File</source>
        <translation>ここをクリックして GIF ファイルを開きます</translation>
    </message>
    <message>
        <source>Quillframe %1 — hand-drawn animations from your GIFs</source>
        <translation>Quillframe %1 — GIF から手描き風のアニメーションを</translation>
    </message>
    <message>
        <source>or drop a GIF, an animated WebP or a video clip anywhere on this window</source>
        <translation>または GIF、アニメーション WebP、ビデオクリップをこのウィンドウのどこかにドロップします</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>the folder %1 does not exist</source>
        <translation>フォルダー %1 が存在しません</translation>
    </message>
    <message>
        <source>this folder does not accept new files</source>
        <translation>このフォルダーには新しいファイルを作成できません</translation>
    </message>
    <message>
        <source>you have no permission to write into this folder</source>
        <translation>このフォルダーに書き込む権限がありません</translation>
    </message>
    <message>
        <source>the disk of this folder is read-only</source>
        <translation>このフォルダーのディスクは読み取り専用です</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>ディスクがいっぱいです</translation>
    </message>
    <message>
        <source>the save was stopped</source>
        <translation>保存は中止されました</translation>
    </message>
    <message>
        <source>Cannot check for another running Quillframe window:
%1</source>
        <translation>実行中の別の Quillframe ウィンドウを確認できません:
%1</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>アクセスが拒否されました</translation>
    </message>
    <message>
        <source>the lock file cannot be written</source>
        <translation>ロックファイルに書き込めません</translation>
    </message>
    <message>
        <source>it is not a folder</source>
        <translation>フォルダーではありません</translation>
    </message>
    <message>
        <source>it belongs to another user</source>
        <translation>他のユーザーが所有しています</translation>
    </message>
    <message>
        <source>the folder cannot be created</source>
        <translation>フォルダーを作成できません</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>スケッチ GIF を保存</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>GIF、アニメーション WebP、またはビデオクリップを開く</translation>
    </message>
</context>
<context>
    <name>ResultPage</name>
    <message>
        <source>Fit under:</source>
        <translation>上限サイズ:</translation>
    </message>
    <message>
        <source>Original</source>
        <translation>元のサイズ</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>カスタム</translation>
    </message>
    <message>
        <source>Use the original size</source>
        <translation>元のサイズに戻す</translation>
    </message>
    <message>
        <source>Convert again without a size limit</source>
        <translation>サイズの上限なしで変換し直す</translation>
    </message>
    <message>
        <source>Made to fit under %1.</source>
        <translation>%1 以下に収めました。</translation>
    </message>
    <message>
        <source>quality %1</source>
        <translation>品質 %1</translation>
    </message>
    <message>
        <source>1 frame in %1</source>
        <translation>%1 フレームに 1 枚</translation>
    </message>
    <message>
        <source>shrunk to %1%</source>
        <translation>%1% に縮小</translation>
    </message>
    <message>
        <source>Made to fit under %1: %2.</source>
        <translation>%1 以下に収めました（%2）。</translation>
    </message>
</context>
<context>
    <name>ViewerControls</name>
    <message>
        <source>Pause</source>
        <translation>一時停止</translation>
    </message>
    <message>
        <source>Play or pause (Space)</source>
        <translation>再生または一時停止 (Space)</translation>
    </message>
    <message>
        <source>Next frame</source>
        <translation>次のフレーム</translation>
    </message>
    <message>
        <source>Show the next frame (Right; Left goes back)</source>
        <translation>次のフレームを表示 (→、← で戻る)</translation>
    </message>
    <message>
        <source>1:1</source>
        <translation>1:1</translation>
    </message>
    <message>
        <source>Show at the real size, or fitted</source>
        <translation>実寸またはウィンドウに合わせて表示</translation>
    </message>
    <message>
        <source>Before</source>
        <translation>元画像</translation>
    </message>
    <message>
        <source>Hold to see the original (or hold B)</source>
        <translation>押している間は元の画像を表示 (B キーでも可)</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>再生</translation>
    </message>
</context>
<context>
    <name>WorkPage</name>
    <message>
        <source>Please wait...</source>
        <translation>お待ちください…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>Frame %1 of %2</source>
        <translation>フレーム %1 / %2</translation>
    </message>
</context>
<context>
    <name>qf::Switches</name>
    <message>
        <source>Color Sketch</source>
        <translation>カラースケッチ</translation>
    </message>
    <message>
        <source>Colour instead of grey sketch depth, dots and pencil layer (variant 2)</source>
        <translation>スケッチの濃淡、点、鉛筆レイヤーをグレーではなくカラーに (バリエーション 2)</translation>
    </message>
    <message>
        <source>Sharpen</source>
        <translation>シャープ</translation>
    </message>
    <message>
        <source>Sharpen the finished picture</source>
        <translation>仕上がった画像をシャープにする</translation>
    </message>
    <message>
        <source>Mix similar color</source>
        <translation>似た色を混ぜる</translation>
    </message>
    <message>
        <source>Merge areas of similar colour into flat cartoon colours under the lines</source>
        <translation>線の下の似た色の領域をアニメ調のベタ塗りにまとめる</translation>
    </message>
    <message>
        <source>Adjust sketch depth</source>
        <translation>スケッチの濃淡を調整</translation>
    </message>
    <message>
        <source>Darken or lighten lines and dots to follow the frame&apos;s shading</source>
        <translation>フレームの陰影に合わせて線と点を暗く・明るくする</translation>
    </message>
    <message>
        <source>Blur</source>
        <translation>ぼかし</translation>
    </message>
    <message>
        <source>Soften the finished picture with a 2 x 2 box average (before sharpening)</source>
        <translation>仕上がった画像を 2 x 2 の平均でぼかす (シャープの前に)</translation>
    </message>
    <message>
        <source>Still grain</source>
        <translation>紙目を止める</translation>
    </message>
    <message>
        <source>The pencil paper&apos;s grain (variant 2) holds still wherever the picture does not change, instead of changing every three frames</source>
        <translation>鉛筆画用紙の紙目 (バリエーション 2) を、3 フレームごとに変えずに、画像が変わらない部分では止めておきます</translation>
    </message>
    <message>
        <source>Ink</source>
        <translation>インク</translation>
    </message>
    <message>
        <source>How dark a tone must be before it turns to solid ink: lower keeps only the outlines and the deepest shadows, higher fills more</source>
        <translation>どれだけ暗い色調をべた塗りのインクにするか: 低いと輪郭と最も深い影だけが残り、高いとより多く塗りつぶします</translation>
    </message>
    <message>
        <source>Lines</source>
        <translation>線</translation>
    </message>
    <message>
        <source>How strong a colour difference must be to draw an outline: lower draws fewer, cleaner lines, higher more detail</source>
        <translation>輪郭を描くのに必要な色の差の強さ: 低いと少なくすっきりした線、高いとより細かい部分まで描きます</translation>
    </message>
</context>
<context>
    <name>qf::Variants</name>
    <message>
        <source>Line sketch</source>
        <translation>線画</translation>
    </message>
    <message>
        <source>Black pencil lines on white paper</source>
        <translation>白い紙に黒い鉛筆の線</translation>
    </message>
    <message>
        <source>Stucki dots</source>
        <translation>Stucki の点描</translation>
    </message>
    <message>
        <source>The sketched frame as black and white dots</source>
        <translation>スケッチしたフレームを白黒の点で</translation>
    </message>
    <message>
        <source>Pencil on paper</source>
        <translation>紙に鉛筆</translation>
    </message>
    <message>
        <source>Pencil lines on a grainy paper texture</source>
        <translation>ざらついた紙の質感に鉛筆の線</translation>
    </message>
    <message>
        <source>Vivid colour</source>
        <translation>鮮やかな色</translation>
    </message>
    <message>
        <source>Bright, saturated colours with sketch lines</source>
        <translation>明るく鮮やかな色にスケッチの線</translation>
    </message>
    <message>
        <source>Vivid colour with dots</source>
        <translation>鮮やかな色と点描</translation>
    </message>
    <message>
        <source>Bright, saturated colours under a layer of dots</source>
        <translation>明るく鮮やかな色に点のレイヤーを重ねて</translation>
    </message>
    <message>
        <source>Colour sketch</source>
        <translation>カラースケッチ</translation>
    </message>
    <message>
        <source>Sketch lines over flat cartoon colours (or the frame&apos;s own colours)</source>
        <translation>アニメ調のベタ塗り (またはフレーム本来の色) にスケッチの線</translation>
    </message>
    <message>
        <source>Colour sketch with dots</source>
        <translation>カラースケッチと点描</translation>
    </message>
    <message>
        <source>Sketch lines and dots over flat cartoon colours</source>
        <translation>アニメ調のベタ塗りにスケッチの線と点</translation>
    </message>
    <message>
        <source>Sepia tint</source>
        <translation>セピア調</translation>
    </message>
    <message>
        <source>A warm single-hue tint that keeps the lightness</source>
        <translation>明るさを保った暖かい単色の色調</translation>
    </message>
    <message>
        <source>Sepia tint with dots</source>
        <translation>セピア調と点描</translation>
    </message>
    <message>
        <source>A warm single-hue tint under a layer of dots</source>
        <translation>暖かい単色の色調に点のレイヤーを重ねて</translation>
    </message>
    <message>
        <source>Poster</source>
        <translation>ポスター調</translation>
    </message>
    <message>
        <source>Two levels per colour channel</source>
        <translation>色チャンネルごとに 2 段階</translation>
    </message>
    <message>
        <source>Poster with dots</source>
        <translation>ポスター調と点描</translation>
    </message>
    <message>
        <source>Two levels per colour channel under a layer of dots</source>
        <translation>色チャンネルごとに 2 段階、点のレイヤーを重ねて</translation>
    </message>
    <message>
        <source>High contrast</source>
        <translation>ハイコントラスト</translation>
    </message>
    <message>
        <source>Mid-tones stretched to hard light and dark</source>
        <translation>中間調を強い明暗に引き伸ばす</translation>
    </message>
    <message>
        <source>High contrast with dots</source>
        <translation>ハイコントラストと点描</translation>
    </message>
    <message>
        <source>Hard light and dark under a layer of dots</source>
        <translation>強い明暗に点のレイヤーを重ねて</translation>
    </message>
    <message>
        <source>Eight greys</source>
        <translation>8 階調グレー</translation>
    </message>
    <message>
        <source>The sketched frame in eight grey levels</source>
        <translation>スケッチしたフレームを 8 階調のグレーで</translation>
    </message>
    <message>
        <source>Eight greys with dots</source>
        <translation>8 階調グレーと点描</translation>
    </message>
    <message>
        <source>Eight grey levels under a layer of dots</source>
        <translation>8 階調のグレーに点のレイヤーを重ねて</translation>
    </message>
    <message>
        <source>Grey sketch</source>
        <translation>グレースケッチ</translation>
    </message>
    <message>
        <source>The sketched frame in shades of grey</source>
        <translation>スケッチしたフレームをグレーの濃淡で</translation>
    </message>
    <message>
        <source>Grey sketch with dots</source>
        <translation>グレースケッチと点描</translation>
    </message>
    <message>
        <source>Shades of grey under a layer of dots</source>
        <translation>グレーの濃淡に点のレイヤーを重ねて</translation>
    </message>
</context>
<context>
    <name>qf::shell::UpdateReminder</name>
    <message>
        <source>Do you want to visit our website to check if there is a new version released?</source>
        <translation>新しいバージョンが公開されているか、Web サイトで確認しますか?</translation>
    </message>
</context>
</TS>
